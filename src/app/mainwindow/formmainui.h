#pragma once

#include <array>
#include <cstddef>
#include <QCoreApplication>
#include <QString>
#include <utility>

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

// The controls of the main window, named by what they do. Every control also
// carries the name the window's control inventory gives it as its objectName,
// which is how the tests, accessibility tools and the operator's guide find
// it; kInventory below is the one place where the two meet. Members of a
// control array add "_" and their index to the name.
//
// Arrays are indexed table 0 (resistance) first: binCells[0..8] are the
// resistance BINs 1..9 and binCells[9..17] the voltage BINs.
struct FormMainUi
{
    // The window's controls by role.
    enum class Control : std::size_t {
        ResultFrame,
        ResistanceHeading,
        VoltageHeading,
        BinCells,
        OutLabels,
        ValueLabels,
        GridDivider,
        DataFileFrame,
        FileNameCaption,
        DataFilePath,
        BrowseButton,
        SetupPanels,
        ModeCaptions,
        ResistanceModes,
        VoltageModes,
        ParameterCaptions,
        ResistanceEntries,
        VoltageEntries,
        PanelDividers,
        RowCaptions,
        LowerLimits,
        LimitDashes,
        UpperLimits,
        StartButton,
        StopButton,
        RecCountButton,
        DataButton,
        FileMenu,
        ExitAction,
        SettingsMenu,
        ComPortMenu,
        ComPortActions,
        HelpMenu,
        HelpActions,
    };

    // Role -> inventory name, in the order of Control.
    static constexpr std::pair<Control, const char *> kInventory[] = {
        {Control::ResultFrame, "Frame2"},
        {Control::ResistanceHeading, "Picture1"},
        {Control::VoltageHeading, "Picture2"},
        {Control::BinCells, "Label7"},
        {Control::OutLabels, "Label8"},
        {Control::ValueLabels, "Label5"},
        {Control::GridDivider, "Line1"},
        {Control::DataFileFrame, "Frame3"},
        {Control::FileNameCaption, "Label6"},
        {Control::DataFilePath, "TextFileName"},
        {Control::BrowseButton, "Command3"},
        {Control::SetupPanels, "Frame1"},
        {Control::ModeCaptions, "Label3"},
        {Control::ResistanceModes, "Option1"},
        {Control::VoltageModes, "Option2"},
        {Control::ParameterCaptions, "Label1"},
        {Control::ResistanceEntries, "Text2"},
        {Control::VoltageEntries, "Text6"},
        {Control::PanelDividers, "Line2"},
        {Control::RowCaptions, "Label2"},
        {Control::LowerLimits, "Text3"},
        {Control::LimitDashes, "Label4"},
        {Control::UpperLimits, "Text4"},
        {Control::StartButton, "Command1"},
        {Control::StopButton, "Command2"},
        {Control::RecCountButton, "Command4"},
        {Control::DataButton, "Command5"},
        {Control::FileMenu, "MenuFile"},
        {Control::ExitAction, "MenuFileItem_8"},
        {Control::SettingsMenu, "MenuSetting"},
        {Control::ComPortMenu, "MenuSettingItem_6"},
        {Control::ComPortActions, "MenuCOM"},
        {Control::HelpMenu, "MenuHelp"},
        {Control::HelpActions, "MenuHelpItem"},
    };

    static constexpr const char *inventoryName(Control control) { return kInventory[std::size_t(control)].second; }

    // Client area: 9615 x 8430 twips.
    static constexpr int kClientWidth = 641;
    static constexpr int kClientHeight = 562;

    // Texts of the window, translatable under the context "FormMainUi".
    Q_DECLARE_TR_FUNCTIONS(FormMainUi)
public:

    // Accessible names: the panel entry `entry` (0 the BIN count, 1 and 2 the
    // parameters under `caption`, e.g. "Voltage MAX"), a grid cell (0..17) in
    // its state, and a value display with the reading it shows.
    enum class CellState { Lit, NotLit, Unused };
    static QString entryName(int table, int entry, const QString &caption);
    static QString cellName(int cell, CellState state);
    static QString valueName(int table, const QString &shown);

    // Creates every control as a child of `window` and fixes the window's size.
    void setupUi(QMainWindow *window);

    QWidget *centralWidget = nullptr;

    // Result area: the BIN grid, the out labels and the value displays.
    QGroupBox *resultFrame = nullptr;
    QLabel *resistanceHeading = nullptr;      // green R heading the resistance row
    QLabel *voltageHeading = nullptr;         // blue V heading the voltage row
    std::array<QLabel *, 18> binCells{};      // BIN grid, bordered, autoFillBackground
    std::array<QLabel *, 2> outLabels{};      // "+Out" / "-Out", bordered, autoFillBackground
    std::array<QLabel *, 2> valueLabels{};    // the readings
    QFrame *gridDivider = nullptr;            // between the two grid rows

    // Data-file area.
    QGroupBox *dataFileFrame = nullptr;
    QLabel *fileNameCaption = nullptr;
    QLineEdit *dataFilePath = nullptr;
    QPushButton *browseButton = nullptr;

    // BIN set-up panels: index 0 resistance (left), 1 voltage (right).
    std::array<QGroupBox *, 2> setupPanels{};
    std::array<QLabel *, 2> modeCaptions{};          // "Mode"
    std::array<QRadioButton *, 3> resistanceModes{}; // indexed by BinMode
    std::array<QRadioButton *, 3> voltageModes{};
    std::array<QLabel *, 6> parameterCaptions{};     // 0..2 resistance, 3..5 voltage
    std::array<QLineEdit *, 3> resistanceEntries{};  // BIN count, first and second parameter
    std::array<QLineEdit *, 3> voltageEntries{};
    std::array<QFrame *, 2> panelDividers{};         // closes the upper part of each panel
    std::array<QLabel *, 18> rowCaptions{};          // "BIN No. n", 0..8 resistance, 9..17 voltage
    std::array<QLineEdit *, 18> lowerLimits{};
    std::array<QLabel *, 18> limitDashes{};          // "-" between the limits
    std::array<QLineEdit *, 18> upperLimits{};

    QPushButton *startButton = nullptr;
    QPushButton *stopButton = nullptr;
    QPushButton *recCountButton = nullptr; // "REC - COUNT"
    QPushButton *dataButton = nullptr;     // "DATA": the counter window

    // Menus.
    QMenu *fileMenu = nullptr;
    QAction *exitAction = nullptr;
    QMenu *settingsMenu = nullptr;
    QMenu *comPortMenu = nullptr;               // "&COMPort..." submenu
    std::array<QAction *, 4> comPortActions{};  // "COM1".."COM4", checkable
    QMenu *helpMenu = nullptr;
    QAction *helpAction = nullptr;              // "&Help": the operator's guide
    QAction *helpSeparator = nullptr;
    QAction *versionAction = nullptr;           // "&Version": the About window
};

namespace formmainui_check {
constexpr bool inventoryInRoleOrder()
{
    for (std::size_t i = 0; i < std::size(FormMainUi::kInventory); ++i) {
        if (std::size_t(FormMainUi::kInventory[i].first) != i)
            return false;
    }
    return true;
}
static_assert(inventoryInRoleOrder(), "kInventory must list the roles in the order of Control");
} // namespace formmainui_check
