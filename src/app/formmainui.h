#pragma once

#include <array>

class QAction;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMainWindow;
class QMenu;
class QPushButton;
class QRadioButton;
class QWidget;

// The controls of the main window, created and placed by setupUi. Control
// arrays are indexed as the window's handlers address them: table 0
// (resistance) first, e.g. Label7[0..8] the resistance BINs 1..9 and
// Label7[9..17] the voltage BINs. Every control carries its name as objectName,
// with "_" and the index for array members ("Label7_12", "MenuCOM_2").
// The captions are those of the window definition; the start-up captions and
// every behaviour are set by the window's logic.
struct FormMainUi
{
    // Client area: 9615 x 8430 twips.
    static constexpr int kClientWidth = 641;
    static constexpr int kClientHeight = 562;

    // Creates every control as a child of `window` and fixes the window's size.
    void setupUi(QMainWindow *window);

    QWidget *centralWidget = nullptr;

    // Result area: the BIN grid, the out labels and the value displays.
    QGroupBox *Frame2 = nullptr;
    QLabel *Picture1 = nullptr; // green R heading the resistance row
    QLabel *Picture2 = nullptr; // blue V heading the voltage row
    std::array<QLabel *, 18> Label7{}; // BIN grid cells, bordered, autoFillBackground
    std::array<QLabel *, 2> Label8{};  // out labels, bordered, autoFillBackground
    std::array<QLabel *, 2> Label5{};  // value displays
    QFrame *Line1 = nullptr;           // between the two grid rows

    // Data-file area.
    QGroupBox *Frame3 = nullptr;
    QLabel *Label6 = nullptr;
    QLineEdit *TextFileName = nullptr;
    QPushButton *Command3 = nullptr; // "Browse"

    // BIN set-up panels: index 0 resistance (left), 1 voltage (right).
    std::array<QGroupBox *, 2> Frame1{};
    std::array<QLabel *, 2> Label3{};        // "Mode"
    std::array<QRadioButton *, 3> Option1{}; // resistance modes
    std::array<QRadioButton *, 3> Option2{}; // voltage modes
    std::array<QLabel *, 6> Label1{};        // 0..2 resistance, 3..5 voltage parameter captions
    std::array<QLineEdit *, 3> Text2{};      // resistance BIN count, first and second parameter
    std::array<QLineEdit *, 3> Text6{};      // voltage BIN count, first and second parameter
    std::array<QFrame *, 2> Line2{};         // closes the upper part of each panel
    std::array<QLabel *, 18> Label2{};       // row captions, 0..8 resistance, 9..17 voltage
    std::array<QLineEdit *, 18> Text3{};     // lower limits
    std::array<QLabel *, 18> Label4{};       // "-" between the limits
    std::array<QLineEdit *, 18> Text4{};     // upper limits

    QPushButton *Command1 = nullptr; // "START"
    QPushButton *Command2 = nullptr; // "STOP"
    QPushButton *Command4 = nullptr; // "REC - COUNT"
    QPushButton *Command5 = nullptr; // "DATA"

    // Menus. Only the items in use exist; the single items keep their index
    // in their member name.
    QMenu *MenuFile = nullptr;
    QAction *MenuFileItem8 = nullptr; // "E&xit"
    QMenu *MenuSetting = nullptr;
    QMenu *MenuSettingItem6 = nullptr;   // "&COMPort..." submenu
    std::array<QAction *, 4> MenuCOM{};  // "COM1".."COM4", checkable
    QMenu *MenuHelp = nullptr;
    std::array<QAction *, 3> MenuHelpItem{}; // "&Help", separator, "&Version"
};
