#pragma once

#include <QApplication>

// The application object. Its event dispatch is the one place that catches the errors the
// platform raises (tables, conversions, ports, sockets): it shows the error text in a box and
// lets the program go on; only the handler that was running ends.
class SarvelonApplication : public QApplication
{
public:
    SarvelonApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;

    // Shows a caught error the way the default error display does.
    static void showError(const QString &text);
};
