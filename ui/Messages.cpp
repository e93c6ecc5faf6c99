#include "ui/Messages.h"

#include <QInputDialog>
#include <QMessageBox>
#include <QQueue>

namespace Messages {

const char *const AppTitle = "Sarvelon矩阵管理系统";
const char *const InfoCaption = "信息提示";
const char *const ErrorCaption = "错误提示";

namespace {
struct State
{
    bool testMode = false;
    QList<Record> records;
    QQueue<bool> questionAnswers;
    QQueue<QPair<bool, QString>> inputAnswers;
};

State &state()
{
    static State s;
    return s;
}

void record(Kind kind, const QString &text, const QString &caption)
{
    state().records.append({kind, text, caption});
}
} // namespace

void box(const QString &text, const QString &caption, QWidget *parent)
{
    if (state().testMode) {
        record(Kind::Box, text, caption);
        return;
    }
    QMessageBox mb(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, parent);
    mb.exec();
}

void plain(const QString &text, QWidget *parent)
{
    if (state().testMode) {
        record(Kind::Plain, text, QString::fromUtf8(AppTitle));
        return;
    }
    QMessageBox mb(QMessageBox::NoIcon, QString::fromUtf8(AppTitle), text, QMessageBox::Ok, parent);
    mb.exec();
}

bool question(const QString &text, const QString &caption, QWidget *parent)
{
    if (state().testMode) {
        record(Kind::Question, text, caption);
        return state().questionAnswers.isEmpty() ? false : state().questionAnswers.dequeue();
    }
    QMessageBox mb(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No, parent);
    return mb.exec() == QMessageBox::Yes;
}

bool input(const QString &caption, const QString &prompt, QString &value, QWidget *parent)
{
    if (state().testMode) {
        record(Kind::Input, prompt, caption);
        if (state().inputAnswers.isEmpty())
            return false;
        const auto answer = state().inputAnswers.dequeue();
        if (answer.first)
            value = answer.second;
        return answer.first;
    }
    bool ok = false;
    const QString result = QInputDialog::getText(parent, caption, prompt, QLineEdit::Normal, value, &ok);
    if (ok)
        value = result;
    return ok;
}

void setTestMode(bool on)
{
    state().testMode = on;
}

bool testMode()
{
    return state().testMode;
}

QList<Record> records()
{
    return state().records;
}

QStringList texts()
{
    QStringList result;
    for (const Record &r : state().records)
        result << r.text;
    return result;
}

void clearRecords()
{
    state().records.clear();
    state().questionAnswers.clear();
    state().inputAnswers.clear();
}

void queueQuestionAnswer(bool yes)
{
    state().questionAnswers.enqueue(yes);
}

void queueInputAnswer(bool ok, const QString &value)
{
    state().inputAnswers.enqueue({ok, value});
}

} // namespace Messages
