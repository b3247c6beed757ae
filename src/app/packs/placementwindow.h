#pragma once

#include "app/packs/packplaces.h"
#include "cellid/scandetector.h"
#include "common/backgroundpool.h"
#include "pack/packstore.h"

#include <QFutureWatcher>
#include <QPointer>
#include <QStringList>
#include <QDialog>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMessageBox;
class QProgressBar;
class QPushButton;

// What a placement job gave: the store's packs, a scan's answer or a failed
// cell's replacement.
struct PlacementOutcome
{
    QString error;
    std::vector<PackSummary> packs;
    std::optional<ScanAnswer> answer;
    std::optional<FailedCell> failed;
    bool listed = false; // packs holds the store's packs
};

// File > Pack placement...: placing a saved pack's cells by scan at the
// bench. The store (journal or shared database) and the pack are chosen at
// the top; each scan (or typed ID and Enter) is answered in type large enough
// to read from a step away, "Group 7, position 12", or with why the cell is
// refused (not in the pack, in another pack, placed already and where, marked
// failed and what took its place), and the answer is announced to screen
// readers. Progress shows placed of all places. Placement is kept in the
// store's pack tables, so a restart continues where it stopped.
//
// MARK FAILED marks the cell in the field (or the last one scanned) failed
// after a confirmation, and gives its place to the best cell of the pack's
// pool that no pack holds, reserved like the plan's cells; the group's
// figures before and after are shown. RELEASE PACK... frees the pack's cells.
//
// Every store access runs on the window's own threads, one at a time; scans
// that come meanwhile wait their turn in order. Closing never waits.
class PlacementWindow : public QDialog
{
    Q_OBJECT
public:
    explicit PlacementWindow(PackPlaces places, QWidget *parent = nullptr);
    ~PlacementWindow() override;

    // Lists the unreleased packs of the chosen store; keeps the one chosen
    // when it is still there, otherwise chooses the newest.
    void refresh();
    // Takes a cell ID as scanned or typed.
    void scan(const QString &text);
    // Asks whether to mark the cell failed; on Yes, marks it and finds its
    // replacement.
    void askFailed();
    void markFailed(const QString &cellId);
    void askRelease();

    bool isWorking() const;
    QComboBox *storeBox() const { return m_store; }
    QComboBox *packBox() const { return m_pack; }
    QLabel *answer() const { return m_answer; }
    QLabel *detail() const { return m_detail; }
    QProgressBar *progress() const { return m_progress; }
    QLineEdit *scanField() const { return m_field; }
    QPushButton *failedButton() const { return m_failedButton; }
    QLabel *replacement() const { return m_replacement; }
    QListWidget *history() const { return m_history; }
    // The monotonic milliseconds key presses are timed with (tests set it).
    void setKeyClock(std::function<qint64()> msecs) { m_msecs = std::move(msecs); }

Q_SIGNALS:
    // A job ended and what it gave is shown.
    void workEnded();
    // An answer was shown and announced to assistive technology.
    void answerAnnounced(const QString &text);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildUi();
    void run(const QString &busyText, std::function<PlacementOutcome(PackStore &, const std::atomic<bool> *)> job);
    void onFinished();
    void next();
    void announce(const QString &text, bool good);
    void showProgress(int placed, int places);
    std::optional<PoolSource> chosenSource();
    QUuid chosenPack() const;

    PackPlaces m_places;
    QString m_bench; // the bench the placements are made at
    QComboBox *m_store = nullptr;
    QComboBox *m_pack = nullptr;
    QPushButton *m_refreshButton = nullptr;
    QPushButton *m_releaseButton = nullptr;
    QLabel *m_answer = nullptr;
    QLabel *m_detail = nullptr;
    QProgressBar *m_progress = nullptr;
    QLineEdit *m_field = nullptr;
    QPushButton *m_failedButton = nullptr;
    QLabel *m_replacement = nullptr;
    QListWidget *m_history = nullptr;
    QPointer<QMessageBox> m_question;

    ScanDetector m_scanDetector;
    std::function<qint64()> m_msecs;
    QString m_prefix;
    QString m_suffix;
    QString m_lastScanned;
    std::vector<PackSummary> m_packs;
    // Jobs waiting for the one running, in order.
    std::vector<std::function<void()>> m_waiting;
    std::shared_ptr<std::atomic<bool>> m_cancel;
    BackgroundPool m_threads;
    QFutureWatcher<PlacementOutcome> m_watcher;
};
