#include "app/packs/placementwindow.h"

#include "app/style/programicon.h"
#include "app/style/warninglabel.h"
#include "settings/cellidoptions.h"

#include <QAccessible>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
// Answers kept in the list below, the newest first.
constexpr int kHistory = 200;
// The answer's type: to be read from a step away.
constexpr int kAnswerPointSize = 40;
} // namespace

PlacementWindow::PlacementWindow(PackPlaces places, QWidget *parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint), m_places(std::move(places)), m_cancel(std::make_shared<std::atomic<bool>>(false))
{
    setObjectName(QStringLiteral("placementWindow"));
    setWindowTitle(tr("Pack placement"));
    setWindowIcon(programIcon());
    setAttribute(Qt::WA_DeleteOnClose);
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();
    m_msecs = [timer] { return timer->elapsed(); };
    // The scanner's frame only; the main window tells of a refused file.
    const CellIdOptions options = loadCellIdOptions(m_places.settingsDir).valueOr(CellIdOptions());
    m_prefix = options.prefix;
    m_suffix = options.suffix;
    m_bench = m_places.label().bench;
    buildUi();
    connect(&m_watcher, &QFutureWatcher<PlacementOutcome>::finished, this, &PlacementWindow::onFinished);
    resize(900, 640);
    refresh();
}

PlacementWindow::~PlacementWindow()
{
    m_cancel->store(true);
    m_watcher.disconnect(this);
    m_watcher.cancel();
}

void PlacementWindow::buildUi()
{
    auto *layout = new QVBoxLayout(this);
    auto *top = new QHBoxLayout;
    m_store = new QComboBox;
    m_store->setObjectName(QStringLiteral("storeBox"));
    m_store->setAccessibleName(tr("Store"));
    m_store->addItem(tr("Record journal"), int(PoolSource::Kind::Journal));
    m_store->addItem(tr("Shared database"), int(PoolSource::Kind::Central));
    auto *storeCaption = new QLabel(tr("S&tore:"));
    storeCaption->setBuddy(m_store);
    m_pack = new QComboBox;
    m_pack->setObjectName(QStringLiteral("packBox"));
    m_pack->setAccessibleName(tr("Pack"));
    m_pack->setMinimumContentsLength(30);
    auto *packCaption = new QLabel(tr("&Pack:"));
    packCaption->setBuddy(m_pack);
    m_refreshButton = new QPushButton(tr("&Refresh"));
    m_refreshButton->setObjectName(QStringLiteral("refreshButton"));
    m_releaseButton = new QPushButton(tr("Re&lease pack..."));
    m_releaseButton->setObjectName(QStringLiteral("releaseButton"));
    top->addWidget(storeCaption);
    top->addWidget(m_store);
    top->addWidget(packCaption);
    top->addWidget(m_pack, 1);
    top->addWidget(m_refreshButton);
    top->addWidget(m_releaseButton);
    layout->addLayout(top);

    m_answer = new QLabel(tr("Choose a pack, then scan its cells"));
    m_answer->setObjectName(QStringLiteral("placementAnswer"));
    m_answer->setAlignment(Qt::AlignCenter);
    m_answer->setWordWrap(true);
    m_answer->setMinimumHeight(kAnswerPointSize * 4);
    QFont big = m_answer->font();
    big.setPointSize(kAnswerPointSize);
    big.setBold(true);
    m_answer->setFont(big);
    layout->addWidget(m_answer, 2);
    m_detail = new QLabel;
    m_detail->setObjectName(QStringLiteral("placementDetail"));
    m_detail->setAlignment(Qt::AlignCenter);
    m_detail->setWordWrap(true);
    QFont larger = m_detail->font();
    larger.setPointSize(larger.pointSize() * 3 / 2);
    m_detail->setFont(larger);
    layout->addWidget(m_detail);
    m_progress = new QProgressBar;
    m_progress->setObjectName(QStringLiteral("placementProgress"));
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    m_progress->setFormat(tr("%v of %m placed"));
    m_progress->setAccessibleName(tr("0 of 0 placed"));
    layout->addWidget(m_progress);

    auto *scanRow = new QHBoxLayout;
    m_field = new QLineEdit;
    m_field->setObjectName(QStringLiteral("placementField"));
    m_field->setMaxLength(256);
    m_field->setAccessibleName(tr("Scan or type a cell ID"));
    m_field->setAccessibleDescription(tr("Enter takes the ID; the answer says the cell's group and position."));
    auto *fieldCaption = new QLabel(tr("&Scan or type a cell ID:"));
    fieldCaption->setBuddy(m_field);
    m_failedButton = new QPushButton(tr("Mark &failed..."));
    m_failedButton->setObjectName(QStringLiteral("failedButton"));
    m_failedButton->setToolTip(tr("The cell in the field, or the last one scanned, failed on the bench: it stays out of "
                                  "every pack and the best free cell takes its place."));
    scanRow->addWidget(fieldCaption);
    scanRow->addWidget(m_field, 1);
    scanRow->addWidget(m_failedButton);
    layout->addLayout(scanRow);

    m_replacement = new QLabel;
    m_replacement->setObjectName(QStringLiteral("replacementLines"));
    m_replacement->setWordWrap(true);
    m_replacement->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Shown once a cell has failed.
    m_replacement->hide();
    layout->addWidget(m_replacement);
    auto *historyCaption = new QLabel(tr("Scans, the newest first:"));
    m_history = new QListWidget;
    m_history->setObjectName(QStringLiteral("placementHistory"));
    m_history->setAccessibleName(tr("Scans, the newest first"));
    historyCaption->setBuddy(m_history);
    layout->addWidget(historyCaption);
    layout->addWidget(m_history, 1);

    m_field->installEventFilter(this);
    connect(m_refreshButton, &QPushButton::clicked, this, &PlacementWindow::refresh);
    connect(m_store, &QComboBox::currentIndexChanged, this, &PlacementWindow::refresh);
    connect(m_pack, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0 && index < int(m_packs.size()))
            showProgress(m_packs[std::size_t(index)].placed, m_packs[std::size_t(index)].places);
    });
    connect(m_failedButton, &QPushButton::clicked, this, &PlacementWindow::askFailed);
    connect(m_releaseButton, &QPushButton::clicked, this, &PlacementWindow::askRelease);
    connect(m_field, &QLineEdit::textEdited, this, [this](const QString &text) {
        if (text.isEmpty())
            m_scanDetector.reset();
    });
    m_field->setFocus();
}

bool PlacementWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_field || event->type() != QEvent::KeyPress)
        return QDialog::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    const qint64 now = m_msecs();
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    if (enter || key->key() == Qt::Key_Tab) {
        const bool framed = (!m_prefix.isEmpty() || !m_suffix.isEmpty())
                         && unframedScan(m_field->text(), m_prefix, m_suffix);
        const bool scanned = m_scanDetector.ends(now) || framed;
        if (!enter && !scanned)
            return false; // a Tab typed by hand moves on
        const QString text = unframedScan(m_field->text(), m_prefix, m_suffix).value_or(m_field->text());
        m_field->clear();
        m_scanDetector.reset();
        if (!text.trimmed().isEmpty())
            scan(text);
        return true;
    }
    if (!key->text().isEmpty() && key->text().front().isPrint())
        m_scanDetector.key(now);
    return false;
}

std::optional<PoolSource> PlacementWindow::chosenSource()
{
    if (m_store->currentData().toInt() == int(PoolSource::Kind::Central)) {
        const Result<PoolSource> central = m_places.central();
        if (!central) {
            announce(central.errorString(), false);
            return std::nullopt;
        }
        return *central;
    }
    return m_places.journal();
}

QUuid PlacementWindow::chosenPack() const
{
    const int index = m_pack->currentIndex();
    return index >= 0 && index < int(m_packs.size()) ? m_packs[std::size_t(index)].id : QUuid();
}

bool PlacementWindow::isWorking() const
{
    return m_watcher.isRunning() || !m_waiting.empty();
}

void PlacementWindow::run(const QString &busyText,
                          std::function<PlacementOutcome(PackStore &, const std::atomic<bool> *)> job)
{
    const std::optional<PoolSource> source = chosenSource();
    if (!source) {
        Q_EMIT workEnded();
        return;
    }
    const auto start = [this, source = *source, busyText, job] {
        m_detail->setText(busyText);
        const std::shared_ptr<std::atomic<bool>> cancel = m_cancel;
        m_watcher.setFuture(m_threads.run<PlacementOutcome>([source, job, cancel](QPromise<PlacementOutcome> &promise) {
            PlacementOutcome outcome;
            PackStore store(source);
            if (const Status opened = store.open(); !opened)
                outcome.error = opened.errorString();
            else
                outcome = job(store, cancel.get());
            promise.addResult(std::move(outcome));
        }));
    };
    if (m_watcher.isRunning())
        m_waiting.push_back(start);
    else
        start();
}

void PlacementWindow::next()
{
    if (m_waiting.empty() || m_watcher.isRunning())
        return;
    const std::function<void()> start = m_waiting.front();
    m_waiting.erase(m_waiting.begin());
    start();
}

void PlacementWindow::refresh()
{
    m_detail->clear();
    run(tr("Reading the packs..."), [](PackStore &store, const std::atomic<bool> *) {
        PlacementOutcome outcome;
        Result<std::vector<PackSummary>> packs = store.packs(false);
        if (packs)
            outcome.packs = std::move(*packs);
        else
            outcome.error = packs.errorString();
        outcome.listed = true;
        return outcome;
    });
}

void PlacementWindow::scan(const QString &text)
{
    const QUuid pack = chosenPack();
    if (pack.isNull()) {
        announce(tr("Choose a pack first"), false);
        Q_EMIT workEnded();
        return;
    }
    m_lastScanned = text.trimmed();
    run(tr("Looking up %1...").arg(text.trimmed()), [pack, text, bench = m_bench](PackStore &store, const std::atomic<bool> *) {
        PlacementOutcome outcome;
        Result<ScanAnswer> answer = store.place(pack, text, bench);
        if (answer)
            outcome.answer = std::move(*answer);
        else
            outcome.error = answer.errorString();
        return outcome;
    });
}

void PlacementWindow::askFailed()
{
    const QString cell = m_field->text().trimmed().isEmpty() ? m_lastScanned : m_field->text().trimmed();
    if (cell.isEmpty() || chosenPack().isNull()) {
        announce(tr("Scan the cell that failed first"), false);
        return;
    }
    delete m_question;
    auto *question = new QMessageBox(QMessageBox::Question, tr("Mark failed"),
                                     tr("Mark %1 failed? It stays out of every pack, also once this pack is released, "
                                        "and the best free cell of the pool takes its place.").arg(cell),
                                     QMessageBox::Yes | QMessageBox::No, this);
    question->setObjectName(QStringLiteral("failedQuestion"));
    question->setDefaultButton(QMessageBox::No);
    question->setAttribute(Qt::WA_DeleteOnClose);
    question->setWindowModality(Qt::WindowModal);
    connect(question, &QMessageBox::finished, this, [this, cell](int result) {
        if (result == QMessageBox::Yes)
            markFailed(cell);
    });
    m_question = question;
    question->open();
}

void PlacementWindow::markFailed(const QString &cellId)
{
    const QUuid pack = chosenPack();
    if (pack.isNull())
        return;
    m_field->clear();
    run(tr("Marking %1 failed and finding the best free cell for its place...").arg(cellId),
        [pack, cellId](PackStore &store, const std::atomic<bool> *cancel) {
            PlacementOutcome outcome;
            Result<FailedCell> failed = failAndReplace(store, pack, cellId, cancel);
            if (failed)
                outcome.failed = std::move(*failed);
            else
                outcome.error = failed.errorString();
            return outcome;
        });
}

void PlacementWindow::askRelease()
{
    const int index = m_pack->currentIndex();
    if (index < 0 || index >= int(m_packs.size()))
        return;
    const PackSummary pack = m_packs[std::size_t(index)];
    delete m_question;
    auto *question = new QMessageBox(QMessageBox::Question, tr("Release pack"),
                                     tr("Release pack %1? Its cells become free for other packs (but those marked "
                                        "failed), and it takes no more scans.").arg(pack.name),
                                     QMessageBox::Yes | QMessageBox::No, this);
    question->setObjectName(QStringLiteral("releaseQuestion"));
    question->setDefaultButton(QMessageBox::No);
    question->setAttribute(Qt::WA_DeleteOnClose);
    question->setWindowModality(Qt::WindowModal);
    connect(question, &QMessageBox::finished, this, [this, id = pack.id](int result) {
        if (result != QMessageBox::Yes)
            return;
        run(tr("Releasing the pack..."), [id](PackStore &store, const std::atomic<bool> *) {
            PlacementOutcome outcome;
            if (const Status released = store.release(id); !released)
                outcome.error = released.errorString();
            Result<std::vector<PackSummary>> packs = store.packs(false);
            if (packs)
                outcome.packs = std::move(*packs);
            outcome.listed = true;
            return outcome;
        });
    });
    m_question = question;
    question->open();
}

void PlacementWindow::onFinished()
{
    const QFuture<PlacementOutcome> future = m_watcher.future();
    if (!future.isCanceled() && future.resultCount() > 0) {
        const PlacementOutcome outcome = future.result();
        m_detail->clear();
        if (!outcome.error.isEmpty()) {
            announce(outcome.error, false);
        } else if (outcome.answer) {
            const ScanAnswer &a = *outcome.answer;
            announce(a.text(), a.accepted());
            if (a.accepted())
                m_detail->setText(a.cellId);
            showProgress(a.placed, a.places);
            const int index = m_pack->currentIndex();
            if (a.places > 0 && index >= 0 && index < int(m_packs.size()))
                m_packs[std::size_t(index)].placed = a.placed;
        } else if (outcome.failed) {
            const FailedCell &f = *outcome.failed;
            m_replacement->setText(f.lines().join(QLatin1Char('\n')));
            m_replacement->show();
            announce(f.replacement ? tr("%1 failed: %2 takes group %3, position %4")
                                             .arg(f.cellId, f.replacement->cellId)
                                             .arg(f.group)
                                             .arg(f.position)
                                   : tr("%1 failed: no free cell fits group %2, position %3")
                                             .arg(f.cellId)
                                             .arg(f.group)
                                             .arg(f.position),
                     f.replacement.has_value());
        }
        if (outcome.listed) {
            const QUuid kept = chosenPack();
            m_packs = outcome.packs;
            const QSignalBlocker blocker(m_pack);
            m_pack->clear();
            int chosen = 0;
            for (std::size_t i = 0; i < m_packs.size(); ++i) {
                m_pack->addItem(m_packs[i].name);
                if (m_packs[i].id == kept)
                    chosen = int(i);
            }
            m_pack->setCurrentIndex(m_packs.empty() ? -1 : chosen);
            if (m_packs.empty())
                showProgress(0, 0);
            else
                showProgress(m_packs[std::size_t(chosen)].placed, m_packs[std::size_t(chosen)].places);
            if (m_packs.empty() && outcome.error.isEmpty())
                m_detail->setText(tr("No pack is saved in this store: plan one with File > Build a pack... and save it."));
        }
    }
    Q_EMIT workEnded();
    next();
}

void PlacementWindow::announce(const QString &text, bool good)
{
    QPalette palette = m_answer->palette();
    palette.setColor(QPalette::WindowText, good ? this->palette().color(QPalette::WindowText) : warningColour());
    m_answer->setPalette(palette);
    m_answer->setText(text);
    m_history->insertItem(0, text);
    while (m_history->count() > kHistory)
        delete m_history->takeItem(m_history->count() - 1);
    // Sent only while a screen reader listens.
    QAccessibleEvent alert(m_answer, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
    Q_EMIT answerAnnounced(text);
}

void PlacementWindow::showProgress(int placed, int places)
{
    m_progress->setRange(0, std::max(places, 1));
    m_progress->setValue(std::min(placed, std::max(places, 1)));
    m_progress->setFormat(places > 0 ? tr("%v of %m placed") : tr("no pack chosen"));
    const QString text = tr("%1 of %2 placed").arg(placed).arg(places);
    if (m_progress->accessibleName() != text) {
        m_progress->setAccessibleName(text);
        QAccessibleEvent changed(m_progress, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&changed);
    }
}
