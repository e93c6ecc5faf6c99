#pragma once

#include "core/CrosspointTable.h"
#include "link/DeviceLink.h"
#include "store/Table.h"

#include <QMainWindow>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTabBar;
class QToolBar;
class QToolButton;
class StringGrid;
class TForm2;
class TForm3;
class TForm4;
class TForm5;
class TForm7;
class TForm8;
class TForm9;

// The settings of the loaded matrix, as read from its catalogue row.
struct MatrixRecord
{
    QString Name;
    QString Type;
    int InNum = 0;
    int OutNum = 0;
    bool Audio = false;
    QString ComType;
    QString ComNum;
    QString IP;
    int Port = 0;
};

// The operator console: owns the loaded matrix, its crosspoint table and its device link.
class TForm1 : public QMainWindow, public link::LinkHost
{
    Q_OBJECT
public:
    // programFolder: the folder of the tables' KorvathDB, with a trailing "/"; empty means
    // the folder of the running executable.
    explicit TForm1(const QString &programFolder = QString(), QWidget *parent = nullptr);
    ~TForm1() override;

    // The secondary windows, created by the program entry after this one.
    void setWindows(TForm2 *form2, TForm3 *form3, TForm4 *form4, TForm5 *form5, TForm8 *form8,
                    TForm7 *form7, TForm9 *form9);

    // Start-up, show and close.
    void FormCreate();
    void FormShow();
    void FormClose();

    // Loading (tab change).
    void TabControl1Change();
    void DelegateTabControl1Change();

    // Status refresh.
    bool ParseStatusReply();
    void RefreshStatus(const QString &successMessage, const QString &failureMessage);
    void DelegateButton2Click(QObject *sender, bool afterPresetRecall);
    void Button2Click();
    void RedrawGrid();

    // Grid routing.
    void StringGrid1SelectCell(int column, int row, bool &allow);
    bool DelegateStringGrid1SelectCell(QObject *sender, int output, int input, bool fromGrid, bool &allow);
    void StringGrid1MouseMove(Qt::KeyboardModifiers shift, int x, int y);
    void StringGrid1MouseWheelDown();
    void StringGrid1MouseWheelUp();
    void CheckBox3Click();
    void CheckBox4Click();
    void CheckBox1Click();

    // Channel selection bar. The key filters answer true for a key that is dropped.
    bool ComboBox1KeyPress(QEvent *event);
    bool ComboBox2KeyPress(QEvent *event);
    void Button1Click();
    void DisconnectOutput(int output);

    // Menu items.
    void U1Click();
    void N6Click();
    void E2Click();
    void S1Click();
    void N9Click();
    void N8Click();
    void N4Click();
    void N10Click();
    void ToolButton5Click() {}

    void AddHistoryEntry(const QString &matrixName, const QString &command);

    // LinkHost
    void setPanelText(int panel, const QString &text) override;
    QString panelText(int panel) const override;
    void showInfoBox(const QString &text) override;
    void deviceUpdate() override;

    // State of the loaded matrix.
    QString AppDirectory;
    QString DatabaseFolder;
    int UserRole = 0;
    QString CurrentMatrixName;
    MatrixRecord CurrentMatrix;
    bool GridLoading = false;
    bool CommandBusy = false;
    bool WheelScrolled = false;
    core::CrosspointTable CrosspointTable;
    core::LayerMask ActiveLayers = 0;
    link::DeviceLink *Link;

    QByteArray &ReceiveBuffer() { return Link->ReceiveBuffer; }
    int CommTimeout() const { return Link->CommTimeout(); }

    // Tables.
    store::Table Table1; // MatrixDB.DB
    store::Table Table2; // ChannelDescDB.DB
    store::Table Table3; // ScreenDescDB
    store::Table Table4; // Config.DB

    // Menu and tool bar.
    QAction *U1, *N6, *N11, *E2, *S1, *N9, *N8, *N4, *N12, *N15, *U2, *N10;
    QToolBar *ToolBar2;
    QToolButton *ToolButton1, *ToolButton2, *ToolButton3, *ToolButton7, *ToolButton11, *ToolButton5;
    QComboBox *ComboBox1, *ComboBox2;
    QPushButton *Button1;

    // Left panel.
    QCheckBox *CheckBox3, *CheckBox4, *CheckBox1;
    QLabel *Label2;
    QCheckBox *CheckBox5, *CheckBox6, *CheckBox7;
    QListWidget *ListBox1;
    QPushButton *Button4, *Button5;
    QPlainTextEdit *Memo1;
    QPushButton *Button2, *Button3;
    QListWidget *ListBox2, *ListBox3;
    QPlainTextEdit *Memo2;

    // Routing area.
    QTabBar *TabControl1;
    QLabel *Label8;
    StringGrid *StringGrid1;

    // Status bar panels 0 to 6.
    QLabel *StatusPanels[7];

    TForm2 *Form2 = nullptr;
    TForm3 *Form3 = nullptr;
    TForm4 *Form4 = nullptr;
    TForm5 *Form5 = nullptr;
    TForm7 *Form7 = nullptr;
    TForm8 *Form8 = nullptr;
    TForm9 *Form9 = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct RefreshTexts;
    void buildMenus();
    void buildToolBar();
    QWidget *buildLeftPanel();
    QWidget *buildRoutingArea();
    void buildStatusBar();
    void applyUserRole();
    void runRefresh(const RefreshTexts &texts);
    core::RouteContext routeContext() const;
    bool isOffline() const;
    void setCellLabel(int output, int input, core::LayerMask value);
    QString inputDescription(int input) const;
    QString outputDescription(int output) const;
    void loadChannelDescriptions(bool &found);
    void connectAndRead();
    void applyStatusToPresets(const std::array<int, 33> &presets);

    QString m_programFolder;
    bool m_shown = false;
};
