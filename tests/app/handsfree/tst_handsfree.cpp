#include "testmain.h"

#include "formmainharness.h"
#include "simtester.h"

#include "app/handsfree/handsfreecontrols.h"
#include "app/handsfree/handsfreedialog.h"
#include "common/numericvalue.h"
#include "platform/qtsoundcue.h"
#include "settings/handsfreeoptions.h"

#include <QAction>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <cmath>
#include <memory>

// Auto record and the sound cue in the main window, against the simulated
// tester's cell line over a real pseudo-terminal. The simulator writes what it
// played (the ground truth); the data file must hold every held cell once, with
// its settled values, and nothing else.

namespace {

struct TruthCell
{
    int number = 0;
    QString kind;
    double ohms = 0;
    double volts = 0;
};

QList<TruthCell> readTruth(const QString &path)
{
    QList<TruthCell> cells;
    for (const QByteArray &line : fileLines(path)) {
        const QList<QByteArray> f = line.split(',');
        if (f.size() < 13 || f.at(0) != "cell")
            continue;
        cells.append(TruthCell{f.at(1).toInt(), QString::fromLatin1(f.at(2)),
                               numericValue(QString::fromLatin1(f.at(10))),
                               numericValue(QString::fromLatin1(f.at(12)))});
    }
    return cells;
}

class RecordingSound : public SoundCue
{
public:
    void play(Cue cue) override { cues.append(cue); }
    QList<Cue> cues;
};

} // namespace

class TestHandsFree : public QObject
{
    Q_OBJECT

    std::unique_ptr<SimTester> m_sim;
    std::unique_ptr<FormMainHarness> m_h;
    RecordingSound m_sound;
    QString m_truthPath;

    FormMain &window() { return *m_h->window; }
    const FormMainUi &ui() { return m_h->window->ui(); }
    MeasurementSession &session() { return m_h->window->session(); }
    HandsFreeControls &handsFree() { return m_h->window->handsFree(); }
    QList<QByteArray> records() { return fileLines(ui().dataFilePath->text()); }
    bool lineDone() { return m_sim->log().contains("cell line done"); }

    void makeWindow(const QString &folder)
    {
        m_h = std::make_unique<FormMainHarness>(folder);
        // One BIN per table: 10..30 mOhm and 3..4 V.
        setOneBinPerTable(ui());
        handsFree().setSoundCue(&m_sound);
        window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&window()));
    }

    void startCellLine(const QString &kinds, int cells, const QString &holdMs)
    {
        m_sim = std::make_unique<SimTester>();
        m_truthPath = QDir(m_sim->folder()).filePath(QStringLiteral("truth.txt"));
        QVERIFY2(m_sim->start({QStringLiteral("--cell-line"), kinds, QStringLiteral("--cells"), QString::number(cells),
                               QStringLiteral("--gap-ms"), QStringLiteral("400:700"),
                               QStringLiteral("--hold-ms"), holdMs, QStringLiteral("--truth"), m_truthPath}),
                 m_sim->log().constData());
        makeWindow(m_sim->folder());
    }

    void switchAutoRecord(bool on)
    {
        QCheckBox *toggle = window().findChild<QCheckBox *>(QStringLiteral("autoRecordToggle"));
        QVERIFY(toggle);
        QVERIFY(toggle->isEnabled());
        if (toggle->isChecked() != on)
            toggle->click();
        QCOMPARE(session().autoRecord(), on);
    }

    // The resistance (ohms) and voltage of a record line.
    static std::pair<double, double> recordValues(const QByteArray &line)
    {
        const QList<QByteArray> f = line.trimmed().split(',');
        return {numericValue(QString::fromLatin1(f.value(2))), numericValue(QString::fromLatin1(f.value(3)))};
    }

    static bool withinSettleTolerance(const QByteArray &record, const TruthCell &cell)
    {
        const auto [ohms, volts] = recordValues(record);
        const SettleRule rule;
        return std::fabs(ohms - cell.ohms) <= rule.resistanceTolerance(cell.ohms)
            && std::fabs(volts - cell.volts) <= rule.voltageTolerance(cell.volts);
    }

private Q_SLOTS:
    void cleanup()
    {
        m_h.reset();
        m_sim.reset();
        m_sound.cues.clear();
    }

    void everyHeldCellIsRecordedOnceWithItsSettledValuesAndNothingElse()
    {
        startCellLine(QStringLiteral("held,brief,held,creep,held"), 5, QStringLiteral("1800:2400"));
        switchAutoRecord(true);
        handsFree().soundAction()->trigger();
        QVERIFY(handsFree().options().sound);
        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        QVERIFY(session().running());
        // The Settings menu is shut during a session; the status-bar switch is not.
        QVERIFY(!ui().settingsMenu->isEnabled());

        QTRY_VERIFY_WITH_TIMEOUT(lineDone(), 60000);
        // The last lift has been read by the time the line is done.
        const QList<TruthCell> truth = readTruth(m_truthPath);
        QCOMPARE(truth.size(), 5);
        QList<TruthCell> held;
        for (const TruthCell &cell : truth) {
            if (cell.kind == QLatin1String("held"))
                held.append(cell);
        }
        QCOMPARE(held.size(), 3);
        const QList<QByteArray> lines = records();
        QCOMPARE(lines.size(), held.size());
        QList<SoundCue::Cue> expectedCues;
        for (int i = 0; i < held.size(); ++i) {
            QVERIFY2(withinSettleTolerance(lines.at(i), held.at(i)),
                     qPrintable(QStringLiteral("record %1 (%2) is not cell %3 settled at %4 Ohm, %5 V")
                                    .arg(i + 1).arg(QString::fromLatin1(lines.at(i))).arg(held.at(i).number)
                                    .arg(held.at(i).ohms).arg(held.at(i).volts)));
            const bool in = held.at(i).ohms >= 0.010 && held.at(i).ohms < 0.030 && held.at(i).volts >= 3
                && held.at(i).volts < 4;
            expectedCues.append(in ? SoundCue::Cue::In : SoundCue::Cue::Out);
        }
        QCOMPARE(m_sound.cues, expectedCues);
        QCOMPARE(int(m_h->binTableR.totalCount), 3);
        QCOMPARE(int(m_h->binTableV.totalCount), 3);
        QTest::mouseClick(ui().stopButton, Qt::LeftButton);
        QVERIFY(m_h->dialogs.messages.isEmpty());
    }

    void manualPressDuringAutoRecordRecordsTheCellOnce()
    {
        startCellLine(QStringLiteral("held"), 2, QStringLiteral("2400:2800"));
        switchAutoRecord(true);
        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        // The first reading of cell 1 is in: press while it settles.
        QTRY_VERIFY_WITH_TIMEOUT(session().arming().detector().runLength() >= 1, 10000);
        QTest::mouseClick(ui().recCountButton, Qt::LeftButton);
        QVERIFY(session().recordArmed());
        QTRY_COMPARE_WITH_TIMEOUT(records().size(), 1, 5000);
        QVERIFY(!session().recordArmed());
        QVERIFY(session().arming().detector().holding());

        QTRY_VERIFY_WITH_TIMEOUT(lineDone(), 30000);
        const QList<TruthCell> truth = readTruth(m_truthPath);
        QCOMPARE(truth.size(), 2);
        const QList<QByteArray> lines = records();
        QCOMPARE(lines.size(), 2);
        // The press took a reading of cell 1 (maybe before it settled: the
        // operator asked for it); cell 2 was recorded settled.
        QVERIFY(std::fabs(recordValues(lines.at(0)).second - truth.at(0).volts) < 0.1 * truth.at(0).volts);
        QVERIFY(withinSettleTolerance(lines.at(1), truth.at(1)));
        QCOMPARE(int(m_h->binTableR.totalCount), 2);
    }

    void switchingAutoRecordOffMidCellRecordsNothingMore()
    {
        startCellLine(QStringLiteral("held"), 3, QStringLiteral("1800:2200"));
        switchAutoRecord(true);
        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(records().size(), 1, 15000);
        // Cell 1 lifted and cell 2 on the probes, not settled yet.
        QTRY_VERIFY_WITH_TIMEOUT(!session().arming().detector().holding()
                                     && session().arming().detector().runLength() >= 1,
                                 15000);
        switchAutoRecord(false);
        QTRY_VERIFY_WITH_TIMEOUT(lineDone(), 30000);
        QCOMPARE(records().size(), 1);
        const Result<HandsFreeOptions> stored = loadHandsFreeOptions(m_sim->folder());
        QVERIFY(stored && !stored->autoRecord);
        QVERIFY(ui().recCountButton->isEnabled());
    }

    void optionsDialogRefusesBadEntriesAndSavesGoodOnes()
    {
        QTemporaryDir folder;
        makeWindow(folder.path());
        QVERIFY(handsFree().optionsAction()->isEnabled());
        QVERIFY(ui().settingsMenu->actions().contains(handsFree().optionsAction()));
        handsFree().optionsAction()->trigger();
        HandsFreeDialog *dialog = handsFree().dialog();
        QVERIFY(dialog);
        QTRY_VERIFY(dialog->isVisible());
        QCOMPARE(dialog->windowModality(), Qt::WindowModal);

        QLineEdit *count = dialog->findChild<QLineEdit *>(QStringLiteral("settleReadings"));
        QLineEdit *lift = dialog->findChild<QLineEdit *>(QStringLiteral("liftVoltage"));
        QVERIFY(count && lift);
        QCOMPARE(count->text(), QStringLiteral("3"));
        QCOMPARE(lift->text(), QStringLiteral("0.1"));
        retype(count, QStringLiteral("abc"));
        retype(lift, QStringLiteral("9"));
        QPushButton *ok = dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttons"))->button(QDialogButtonBox::Ok);
        QTest::mouseClick(ok, Qt::LeftButton);
        QVERIFY(dialog->isVisible());
        QVERIFY(dialog->errorText()->isVisible());
        QVERIFY(dialog->errorText()->text().contains(QStringLiteral("Readings to settle: \"abc\" is not a number")));
        QVERIFY(dialog->errorText()->text().contains(QStringLiteral("Lifted below must be a number from 0.01 to 5 V.")));
        QCOMPARE(dialog->focusWidget(), count);
        QVERIFY(!QFile::exists(handsFreeOptionsPath(folder.path())));

        retype(count, QStringLiteral("4"));
        retype(lift, QStringLiteral("0.5"));
        QTest::mouseClick(dialog->findChild<QCheckBox *>(QStringLiteral("autoRecordBox")), Qt::LeftButton);
        QTest::mouseClick(ok, Qt::LeftButton);
        QTRY_VERIFY(!handsFree().dialog());
        QCOMPARE(session().arming().detector().rule().settleCount, 4);
        QCOMPARE(session().arming().detector().rule().liftVolts, 0.5);
        QVERIFY(session().autoRecord());
        QVERIFY(handsFree().autoRecordAction()->isChecked());
        QVERIFY(window().findChild<QCheckBox *>(QStringLiteral("autoRecordToggle"))->isChecked());
        const Result<HandsFreeOptions> saved = loadHandsFreeOptions(folder.path());
        QVERIFY(saved && *saved == handsFree().options());
        QVERIFY(m_h->dialogs.messages.isEmpty());
    }

    void storedOptionsApplyAtStartAndSettingsIniKeepsItsLines()
    {
        QTemporaryDir folder;
        makeWindow(folder.path());
        window().close();
        const QByteArray before = [&] {
            QFile file(QDir(folder.path()).filePath(QStringLiteral("Settings.ini")));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        }();
        QCOMPARE(before.count('\n'), 11);
        m_h.reset();

        HandsFreeOptions options;
        options.autoRecord = true;
        options.sound = true;
        options.rule.settleCount = 5;
        QVERIFY(saveHandsFreeOptions(folder.path(), options));
        makeWindow(folder.path());
        QVERIFY(session().autoRecord());
        QCOMPARE(session().arming().detector().rule().settleCount, 5);
        QVERIFY(handsFree().autoRecordAction()->isChecked());
        QVERIFY(handsFree().soundAction()->isChecked());
        handsFree().soundAction()->trigger();
        const Result<HandsFreeOptions> stored = loadHandsFreeOptions(folder.path());
        QVERIFY(stored && !stored->sound);
        window().close();
        QFile after(QDir(folder.path()).filePath(QStringLiteral("Settings.ini")));
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), before);
    }

    void optionsThatCannotBeSavedAreToldOnce()
    {
        QTemporaryDir folder;
        makeWindow(folder.path());
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("HandsFree.ini")));
        handsFree().autoRecordAction()->trigger();
        QVERIFY(session().autoRecord());
        QCOMPARE(m_h->dialogs.messages.size(), 1);
        QVERIFY(m_h->dialogs.messages.at(0).text.contains(QStringLiteral("not saved")));
    }

    void anOversizedOptionsFileIsToldAndLeftAlone()
    {
        QTemporaryDir folder;
        const QByteArray junk = "[AutoRecord]\nenabled=true\n" + QByteArray(2 * 1024 * 1024, 'j');
        QFile file(handsFreeOptionsPath(folder.path()));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(junk) == junk.size());
        file.close();
        makeWindow(folder.path());
        QVERIFY(!session().autoRecord());
        QTRY_COMPARE(m_h->dialogs.messages.size(), 1);
        QVERIFY(m_h->dialogs.messages.at(0).text.contains(QStringLiteral("larger than 1 MB")));
        handsFree().autoRecordAction()->trigger();
        QVERIFY(session().autoRecord());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll() == junk);
    }

    void cuesWithoutAnAudioDeviceAreSilent()
    {
        // No audio hardware here: playing must neither block nor complain.
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
        QtSoundCue sound;
        sound.play(SoundCue::Cue::In);
        sound.play(SoundCue::Cue::Out);
    }
};

BIN4870_TEST(TestHandsFree)
#include "tst_handsfree.moc"
