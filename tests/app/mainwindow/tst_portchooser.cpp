#include "testmain.h"

#include "formmainharness.h"
#include "simtester.h"

#include "app/mainwindow/portchooser.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// Settings > COMPort's chooser against an injected list of serial devices.

namespace {

const SerialDevice kAdapter{QStringLiteral("/dev/ttyUSB0"),
                            QStringLiteral("/dev/serial/by-id/usb-Maker_UART_A1B2-if00-port0"),
                            QStringLiteral("USB UART"), QStringLiteral("Maker"), QStringLiteral("A1B2")};
const SerialDevice kOnboard{QStringLiteral("/dev/null"), QString(), QString(), QString(), QString()};

QString linkTarget(const QString &dir, int port)
{
    const QFileInfo info(QDir(dir).filePath(QStringLiteral("COM%1").arg(port)));
    return info.isSymLink() ? info.symLinkTarget() : QString();
}

QStringList captions(const QMenu *menu)
{
    QStringList texts;
    for (const QAction *action : menu->actions())
        texts << action->text() + (action->isEnabled() ? QString() : QStringLiteral(" [disabled]"));
    return texts;
}

} // namespace

class TestPortChooser : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<FormMainHarness> m_h;
    QList<SerialDevice> m_present;

    FormMain &window() { return *m_h->window; }
    const FormMainUi &ui() { return m_h->window->ui(); }
    PortChooser &chooser() { return m_h->window->portChooser(); }

    void makeWindow(const QString &dir)
    {
        m_h = std::make_unique<FormMainHarness>(dir);
        window().setSerialDeviceList([this] { return m_present; });
        window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&window()));
    }

    // What the operator sees on opening "Connect COMn to".
    QMenu *openConnectMenu(int port)
    {
        QMenu *menu = chooser().connectMenu(port - 1);
        Q_EMIT menu->aboutToShow();
        return menu;
    }

private Q_SLOTS:
    void cleanup() { m_h.reset(); }

    void choosingADeviceLinksThePortAndSelectsIt()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(QFile::link(QStringLiteral("/no/such/ttyUSB5"), dir.filePath(QStringLiteral("COM2"))));
        m_present = {kAdapter, kOnboard};
        makeWindow(dir.path());

        Q_EMIT ui().comPortMenu->aboutToShow();
        QCOMPARE(chooser().targetItem(1)->text(), QStringLiteral("COM2 -> /no/such/ttyUSB5 (missing)"));
        QVERIFY(!chooser().targetItem(1)->isEnabled());

        QMenu *menu = openConnectMenu(2);
        QCOMPARE(captions(menu),
                 (QStringList{QStringLiteral("USB UART - Maker, serial A1B2 (/dev/serial/by-id/usb-Maker_UART_A1B2-if00-port0)"),
                              QStringLiteral("null (/dev/null)")}));
        menu->actions().at(0)->trigger();
        // The stable name goes into the link, replacing the dangling one.
        QCOMPARE(linkTarget(dir.path(), 2), kAdapter.stablePath);
        QCOMPARE(window().comPort(), qint16(2));
        QVERIFY(ui().comPortActions[1]->isChecked());
        QCOMPARE(chooser().targetItem(1)->text(), QStringLiteral("COM2 -> %1 (missing)").arg(kAdapter.stablePath));

        // Without a stable name the system's name is used; the list is read anew
        // each time the menu opens.
        m_present = {kOnboard};
        menu = openConnectMenu(4);
        QCOMPARE(menu->actions().size(), 1);
        menu->actions().at(0)->trigger();
        QCOMPARE(linkTarget(dir.path(), 4), QStringLiteral("/dev/null"));
        QCOMPARE(chooser().targetItem(3)->text(), QStringLiteral("COM4 -> /dev/null"));
        QCOMPARE(window().comPort(), qint16(4));

        m_present.clear();
        QCOMPARE(captions(openConnectMenu(1)), QStringList{QStringLiteral("No serial device found [disabled]")});
        QVERIFY(linkTarget(dir.path(), 1).isEmpty());
        QVERIFY(m_h->dialogs.messages.isEmpty());

        // Settings.ini keeps its eleven lines; the chosen port is on the first.
        window().close();
        const QList<QByteArray> lines = fileLines(dir.filePath(QStringLiteral("Settings.ini")));
        QCOMPARE(lines.size(), 11);
        QCOMPARE(lines.at(0), QByteArray(" 4 \r"));
    }

    void aLinkThatCannotBeMadeIsReportedAndTheOldOneStays()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("COM3/inside"))));
        m_present = {kAdapter};
        makeWindow(dir.path());
        openConnectMenu(3)->actions().at(0)->trigger();
        QCOMPARE(m_h->dialogs.messages.size(), 1);
        QVERIFY2(m_h->dialogs.messages.at(0).text.contains(QLatin1String("Cannot connect COM3")),
                 qPrintable(m_h->dialogs.messages.at(0).text));
        QVERIFY(QFileInfo(dir.filePath(QStringLiteral("COM3"))).isDir());
        QCOMPARE(window().comPort(), qint16(1));
    }

    void theChooserIsRefusedDuringASession()
    {
        SimTester sim;
        QVERIFY2(sim.start({}), sim.log().constData());
        const QString before = linkTarget(sim.folder(), 1);
        QVERIFY(!before.isEmpty());
        m_present = {kAdapter};
        makeWindow(sim.folder());
        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        QVERIFY(!ui().startButton->isEnabled());
        QVERIFY(!ui().settingsMenu->menuAction()->isEnabled());

        openConnectMenu(1)->actions().at(0)->trigger();
        QCOMPARE(linkTarget(sim.folder(), 1), before);
        QCOMPARE(m_h->dialogs.messages.size(), 1);
        QVERIFY2(m_h->dialogs.messages.at(0).text.contains(QLatin1String("STOP")),
                 qPrintable(m_h->dialogs.messages.at(0).text));

        QTest::mouseClick(ui().stopButton, Qt::LeftButton);
        QTRY_VERIFY(ui().startButton->isEnabled());
        openConnectMenu(1)->actions().at(0)->trigger();
        QCOMPARE(linkTarget(sim.folder(), 1), kAdapter.stablePath);
        QCOMPARE(m_h->dialogs.messages.size(), 1);
    }
};

BIN4870_TEST(TestPortChooser)
#include "tst_portchooser.moc"
