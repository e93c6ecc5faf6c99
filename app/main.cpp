#include "app/Startup.h"
#include "ui/Application.h"

#include <QFont>

int main(int argc, char **argv)
{
    SarvelonApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    QFont font = app.font();
    font.setFamilies({QStringLiteral("Noto Sans CJK SC"), font.family()});
    app.setFont(font);
    try {
        Windows windows;
        createWindows(windows);
        return app.exec();
    } catch (const std::exception &e) {
        SarvelonApplication::showError(QString::fromUtf8(e.what()));
        return 1;
    }
}
