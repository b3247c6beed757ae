#include "testmain.h"

#include "geometrycheck.h"

#include "app/mainwindow/aboutwindow.h"
#include "common/version.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <memory>

class TestAboutWindow : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<AboutWindow> m_about;

    QPushButton *ok() const { return m_about->findChild<QPushButton *>(QStringLiteral("cmdOK")); }

    // Sends one key press or release to `target` the way the window system
    // delivers it to the focused control.
    static void send(QWidget *target, QEvent::Type type, int key)
    {
        const QString text = key == Qt::Key_Escape ? QStringLiteral("\x1b")
                             : key == Qt::Key_Space ? QStringLiteral(" ")
                             : key == Qt::Key_A     ? QStringLiteral("a")
                             : key == Qt::Key_Return ? QStringLiteral("\r")
                                                     : QString();
        QKeyEvent event(type, key, Qt::NoModifier, text);
        QCoreApplication::sendEvent(target, &event);
    }

private Q_SLOTS:
    void init()
    {
        m_about = std::make_unique<AboutWindow>();
        m_about->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_about.get()));
        QVERIFY(ok());
    }

    void cleanup() { m_about.reset(); }

    void versionLineHasTwoDigitMinorAndOptionalRevision_data()
    {
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<int>("revision");
        QTest::addColumn<QString>("line");
        QTest::newRow("revision 0 adds nothing") << 1 << 2 << 0 << "Version 1.02";
        QTest::newRow("revision shown plainly") << 1 << 2 << 5 << "Version 1.02.5";
        QTest::newRow("two-digit minor") << 1 << 12 << 0 << "Version 1.12";
        QTest::newRow("minor 0") << 3 << 0 << 0 << "Version 3.00";
        QTest::newRow("multi-digit revision") << 10 << 7 << 123 << "Version 10.07.123";
    }

    void versionLineHasTwoDigitMinorAndOptionalRevision()
    {
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(int, revision);
        QFETCH(QString, line);
        QCOMPARE(versionLine(major, minor, revision), line);
    }

    void showsTitleNameVersionAndNotices()
    {
        QCOMPARE(m_about->windowTitle(), QStringLiteral("BATTERY KELVANO BIN"));
        QCOMPARE(m_about->findChild<QLabel *>(QStringLiteral("lblAppName"))->text(),
                 QStringLiteral("BATTERY KELVANO BIN Measurement"));
        QCOMPARE(m_about->findChild<QLabel *>(QStringLiteral("lblVersion"))->text(), QStringLiteral("Version 1.02"));
        QVERIFY(m_about->findChild<QLabel *>(QStringLiteral("lblCopyright1"))->text().startsWith(
            QStringLiteral("Copyright")));
        QVERIFY(!m_about->findChild<QLabel *>(QStringLiteral("lblCopyright2"))->text().isEmpty());
        QVERIFY(!m_about->findChild<QLabel *>(QStringLiteral("picIcon"))->pixmap().isNull());
        QCOMPARE(ok()->text(), QStringLiteral("OK"));
        QVERIFY(ok()->isDefault());
    }

    void isFixedWithoutMinimiseOrMaximise()
    {
        QCOMPARE(m_about->size(), QSize(344, 159));
        QCOMPARE(m_about->minimumSize(), m_about->maximumSize());
        QVERIFY(!m_about->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
        QVERIFY(!m_about->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
        QCOMPARE(geometrycheck::placedChildren(m_about.get()).size(), 6);
    }

    // Each text is drawn whole inside its own label, the copyright notice on
    // one line, and the product name clear of the icon beside it.
    void everyTextFitsItsPlace()
    {
        const QRect room(QPoint(0, 0), m_about->size());
        for (QWidget *child : geometrycheck::placedChildren(m_about.get()))
            QVERIFY2(room.contains(child->geometry()), qPrintable(child->objectName()));

        const QLabel *icon = m_about->findChild<QLabel *>(QStringLiteral("picIcon"));
        for (const char *name : {"lblAppName", "lblVersion", "lblCopyright1", "lblCopyright2"}) {
            const QLabel *label = m_about->findChild<QLabel *>(QLatin1String(name));
            QVERIFY(label);
            const QRect inside = label->contentsRect();
            const int flags = int(label->alignment()) | (label->wordWrap() ? int(Qt::TextWordWrap) : 0);
            const QRect drawn = label->fontMetrics().boundingRect(inside, flags, label->text());
            QVERIFY2(inside.contains(drawn), name);
            const QRect onWindow = drawn.translated(label->pos());
            QVERIFY2(!onWindow.intersects(icon->geometry()), name);
        }
        const QLabel *copyright = m_about->findChild<QLabel *>(QStringLiteral("lblCopyright1"));
        QVERIFY(copyright->fontMetrics().horizontalAdvance(copyright->text()) <= copyright->contentsRect().width());
        QVERIFY(copyright->fontMetrics().boundingRect(copyright->contentsRect(), int(copyright->alignment())
                    | int(Qt::TextWordWrap), copyright->text()).height() < 2 * copyright->fontMetrics().lineSpacing());
    }

    void escapeClosesOnRelease_data()
    {
        QTest::addColumn<bool>("toButton");
        QTest::newRow("focus on OK") << true;
        QTest::newRow("window itself") << false;
    }

    void escapeClosesOnRelease()
    {
        QFETCH(bool, toButton);
        QWidget *target = toButton ? static_cast<QWidget *>(ok()) : m_about.get();
        send(target, QEvent::KeyPress, Qt::Key_Escape);
        QVERIFY2(m_about->isVisible(), "the press alone must not close the window");
        send(target, QEvent::KeyRelease, Qt::Key_Escape);
        QVERIFY(!m_about->isVisible());
        QCOMPARE(m_about->result(), int(QDialog::Rejected));
    }

    void otherKeysLeaveTheWindowOpen_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("letter") << int(Qt::Key_A);
        QTest::newRow("space, which would press a focused button") << int(Qt::Key_Space);
        QTest::newRow("F1") << int(Qt::Key_F1);
        QTest::newRow("tab") << int(Qt::Key_Tab);
    }

    void otherKeysLeaveTheWindowOpen()
    {
        QFETCH(int, key);
        for (QWidget *target : {static_cast<QWidget *>(ok()), static_cast<QWidget *>(m_about.get())}) {
            send(target, QEvent::KeyPress, key);
            send(target, QEvent::KeyRelease, key);
            QVERIFY2(m_about->isVisible(), qPrintable(target->objectName()));
        }
    }

    void enterPressesTheDefaultButton_data()
    {
        QTest::addColumn<bool>("toButton");
        QTest::newRow("focus on OK") << true;
        QTest::newRow("window itself") << false;
    }

    void enterPressesTheDefaultButton()
    {
        QFETCH(bool, toButton);
        QWidget *target = toButton ? static_cast<QWidget *>(ok()) : m_about.get();
        send(target, QEvent::KeyPress, Qt::Key_Return);
        send(target, QEvent::KeyRelease, Qt::Key_Return);
        QVERIFY(!m_about->isVisible());
        QCOMPARE(m_about->result(), int(QDialog::Accepted));
    }

    void clickOnOkCloses()
    {
        QTest::mouseClick(ok(), Qt::LeftButton);
        QVERIFY(!m_about->isVisible());
    }
};

BIN4870_TEST(TestAboutWindow)
#include "tst_aboutwindow.moc"
