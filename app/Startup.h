#pragma once

#include <QString>

class TForm1;
class TForm2;
class TForm3;
class TForm4;
class TForm5;
class TForm6;
class TForm7;
class TForm8;
class TForm9;

// The program's windows, created once in their order and living until the program ends.
struct Windows
{
    TForm1 *Form1 = nullptr;
    TForm6 *Form6 = nullptr;
    TForm2 *Form2 = nullptr;
    TForm3 *Form3 = nullptr;
    TForm4 *Form4 = nullptr;
    TForm5 *Form5 = nullptr;
    TForm8 *Form8 = nullptr;
    TForm7 *Form7 = nullptr;
    TForm9 *Form9 = nullptr;

    ~Windows();
};

// Creates the nine windows in order and hands over from the login window to the main
// window: only the login window is shown; a successful login sets the role and shows the
// main window; cancelling the login ends the program. programFolder empty: the executable's.
void createWindows(Windows &windows, const QString &programFolder = QString());
