#pragma once

#include <QList>
#include <QString>

class QWidget;

// Every message box, plain message, Yes/No question and text input goes through here, so
// that tests can record each call and answer it without a modal box.
namespace Messages {

extern const char *const AppTitle;     // "Sarvelon矩阵管理系统"
extern const char *const InfoCaption;  // "信息提示"
extern const char *const ErrorCaption; // "错误提示"

enum class Kind { Box, Plain, Question, Input };

struct Record
{
    Kind kind;
    QString text;
    QString caption;
};

// Box with an OK button, no icon.
void box(const QString &text, const QString &caption, QWidget *parent = nullptr);
inline void info(const QString &text, QWidget *parent = nullptr) { box(text, InfoCaption, parent); }
inline void error(const QString &text, QWidget *parent = nullptr) { box(text, ErrorCaption, parent); }
// Plain message dialog, captioned with the application's title.
void plain(const QString &text, QWidget *parent = nullptr);
// Yes/No question; true for Yes.
bool question(const QString &text, const QString &caption, QWidget *parent = nullptr);
// Text input with OK and Cancel; true and value changed on OK.
bool input(const QString &caption, const QString &prompt, QString &value, QWidget *parent = nullptr);

// Test mode: nothing is shown; calls are recorded; questions and inputs take queued answers
// (a question with none queued answers No, an input with none queued is cancelled).
void setTestMode(bool on);
bool testMode();
QList<Record> records();
QStringList texts(); // the texts of the recorded calls, in order
void clearRecords();
void queueQuestionAnswer(bool yes);
void queueInputAnswer(bool ok, const QString &value = QString());

} // namespace Messages
