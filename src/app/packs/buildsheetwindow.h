#pragma once

#include "app/packs/packplaces.h"
#include "app/packs/planchoices.h"
#include "common/backgroundpool.h"
#include "pack/capacitycsv.h"
#include "pack/packstore.h"
#include "pack/plansheet.h"

#include <QFutureWatcher>
#include <QPointer>
#include <QDialog>

#include <atomic>
#include <memory>
#include <optional>
#include <vector>

class QFileDialog;
class QLabel;
class QProgressBar;
class QPushButton;
class CapacityColumnsDialog;
class PlanView;

// What reading the pool and planning on it gave.
struct PlanOutcome
{
    QString error; // empty when planned
    QStringList poolLines;
    QStringList capacityLines;
    std::vector<CapacityRowProblem> problems;
    std::vector<PoolCell> pool; // the pool with capacities, for the trade
    std::optional<Plan> plan;
    double seconds = 0;
};

// What saving the plan gave.
struct SaveOutcome
{
    QString error;
    SavedPlan saved;
    QString name;
};

// File > Build a pack...: the build sheet. The choices (PlanChoices) above,
// PLAN and CANCEL, then SAVE AND RESERVE, EXPORT PDF..., EXPORT CSV... and
// WINDOW TRADE, a status line, and the plan (PlanView) below.
//
// Reading the pool, planning, the trade and saving run on the window's own
// threads (BackgroundPool), one at a time; CANCEL stops a read or a plan (a
// plan cancelled keeps the best arrangement found until then), and closing
// the window cancels and never waits. A save refused because another pack
// took some of the plan's cells names them; PLAN then plans without them.
class BuildSheetWindow : public QDialog
{
    Q_OBJECT
public:
    explicit BuildSheetWindow(PackPlaces places, QWidget *parent = nullptr);
    ~BuildSheetWindow() override;

    void plan();
    void cancel();
    void save();
    void showTrade();
    // Opens a save dialog for the sheet as PDF (or CSV).
    void askExport(bool pdf);
    // Writes the sheet; false with the reason shown.
    bool exportTo(const QString &path, bool pdf);

    bool isWorking() const;
    const PlanSheet &sheet() const { return m_sheet; }
    bool hasPlan() const { return m_hasPlan; }
    PlanChoices *choices() const { return m_choices; }
    PlanView *view() const { return m_view; }
    QLabel *status() const { return m_status; }
    QPushButton *planButton() const { return m_planButton; }
    QPushButton *cancelButton() const { return m_cancelButton; }
    QPushButton *saveButton() const { return m_saveButton; }
    QPushButton *tradeButton() const { return m_tradeButton; }

Q_SIGNALS:
    // A job ended and what it gave is shown.
    void workEnded();
    // A plan was saved and its cells reserved in the source's store.
    void packSaved(const QString &name);

private:
    void buildUi();
    void startWork(const QString &text);
    void endWork();
    void showStatus(const QString &text, bool warning);
    void updateButtons();
    void onPlanned();
    void onTraded();
    void onSaved();
    void askColumns();
    void askFile(bool dataFile);

    PackPlaces m_places;
    PlanChoices *m_choices = nullptr;
    PlanView *m_view = nullptr;
    QLabel *m_status = nullptr;
    QProgressBar *m_busy = nullptr;
    QPushButton *m_planButton = nullptr;
    QPushButton *m_cancelButton = nullptr;
    QPushButton *m_saveButton = nullptr;
    QPushButton *m_pdfButton = nullptr;
    QPushButton *m_csvButton = nullptr;
    QPushButton *m_tradeButton = nullptr;
    QPointer<CapacityColumnsDialog> m_columnsDialog;
    QPointer<QFileDialog> m_fileDialog;

    PlanRequest m_request; // what the sheet shown was planned with
    PlanSheet m_sheet;
    bool m_hasPlan = false;
    std::vector<PoolCell> m_pool;
    std::shared_ptr<std::atomic<bool>> m_cancel;

    BackgroundPool m_threads;
    QFutureWatcher<PlanOutcome> m_planWatcher;
    QFutureWatcher<std::vector<WindowTradeRow>> m_tradeWatcher;
    QFutureWatcher<SaveOutcome> m_saveWatcher;
};
