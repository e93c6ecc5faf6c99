#include "app/Startup.h"

#include "access/Login.h"
#include "access/Usermgr.h"
#include "catalogue/Channeldesc.h"
#include "catalogue/Marixedit.h"
#include "console/Main.h"
#include "console/Preset.h"
#include "tools/Cmdlog.h"
#include "tools/Comtest.h"
#include "tools/Nettest.h"

#include <QCoreApplication>

Windows::~Windows()
{
    delete Form9;
    delete Form7;
    delete Form8;
    delete Form5;
    delete Form4;
    delete Form3;
    delete Form2;
    delete Form6;
    delete Form1;
}

void createWindows(Windows &w, const QString &programFolder)
{
    w.Form1 = new TForm1(programFolder);
    const QString folder = w.Form1->AppDirectory;
    // The login window is on screen from its creation; the main window stays hidden until
    // a login succeeds.
    w.Form6 = new TForm6(folder);
    w.Form2 = new TForm2(w.Form1);
    w.Form3 = new TForm3(w.Form1);
    w.Form4 = new TForm4(folder, w.Form1);
    w.Form5 = new TForm5(w.Form1);
    w.Form8 = new TForm8(w.Form1);
    w.Form7 = new TForm7(w.Form1);
    w.Form9 = new TForm9(w.Form1);
    w.Form1->setWindows(w.Form2, w.Form3, w.Form4, w.Form5, w.Form8, w.Form7, w.Form9);

    TForm1 *main = w.Form1;
    QObject::connect(w.Form6, &TForm6::loggedIn, main, [main](int role) {
        main->UserRole = role;
        main->show();
    });
    QObject::connect(w.Form6, &TForm6::terminateRequested, main, [] { QCoreApplication::quit(); });
}
