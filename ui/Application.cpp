#include "ui/Application.h"

#include "core/PlatformError.h"
#include "ui/Messages.h"

#include <QDebug>

SarvelonApplication::SarvelonApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
    setApplicationName(QString::fromUtf8(Messages::AppTitle));
}

void SarvelonApplication::showError(const QString &text)
{
    qWarning().noquote() << "error:" << text;
    Messages::box(text, QString::fromUtf8(Messages::AppTitle));
}

bool SarvelonApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const PlatformError &e) {
        showError(QString::fromUtf8(e.what()));
    } catch (const std::exception &e) {
        showError(QString::fromUtf8(e.what()));
    }
    return false;
}
