#include "testmain.h"

#include "everywindow.h"
#include "formmainharness.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// The keyboard reaches everything once: no Alt key serves two controls of one
// window or two items of one menu, and Tab walks the main window in the
// order the eye reads it.

namespace {

// The captions with an Alt key that `window` shows now: its menu bar's
// titles, buttons, check boxes, options, group boxes, tabs and the captions
// of entry boxes.
QStringList altCaptions(QWidget *window)
{
    QStringList captions;
    for (QWidget *widget : window->findChildren<QWidget *>()) {
        if (widget->window() != window || !widget->isVisibleTo(window))
            continue;
        if (const auto *button = qobject_cast<QAbstractButton *>(widget)) {
            captions << button->text();
        } else if (const auto *label = qobject_cast<QLabel *>(widget)) {
            if (label->buddy())
                captions << label->text();
        } else if (const auto *group = qobject_cast<QGroupBox *>(widget)) {
            captions << group->title();
        } else if (const auto *tabs = qobject_cast<QTabBar *>(widget)) {
            for (int i = 0; i < tabs->count(); ++i)
                captions << tabs->tabText(i);
        } else if (const auto *bar = qobject_cast<QMenuBar *>(widget)) {
            for (const QAction *action : bar->actions())
                captions << action->text();
        }
    }
    return captions;
}

// "Alt+R: "Scanner p&refix:", "Minimum &rest"" for every key two captions share.
QStringList clashes(const QStringList &captions)
{
    QMap<QString, QStringList> byKey;
    for (const QString &caption : captions) {
        const QKeySequence key = QKeySequence::mnemonic(caption);
        if (!key.isEmpty())
            byKey[key.toString()] << caption;
    }
    QStringList found;
    for (auto it = byKey.cbegin(); it != byKey.cend(); ++it) {
        if (it.value().size() > 1)
            found << QStringLiteral("%1: \"%2\"").arg(it.key(), it.value().join(QLatin1String("\", \"")));
    }
    return found;
}

} // namespace

class TestKeys : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FormMainHarness> m_h;

    FormMain &window() { return *m_h->window; }
    const FormMainUi &ui() { return m_h->window->ui(); }

    void makeWindow()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        QFile guide(m_dir->filePath(QStringLiteral("readmeE.txt")));
        QVERIFY(guide.open(QIODevice::WriteOnly));
        guide.write("The guide.\n");
        guide.close();
        m_h = std::make_unique<FormMainHarness>(m_dir->path());
        // The cell-ID strip shows with its field.
        CellIdOptions options;
        options.enabled = true;
        window().cellIds().setOptions(options);
        window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&window()));
    }

    // Adds the clashes of `window` as it shows now, named `what`, to found.
    static void verifyNoClash(QWidget *window, const QString &what, QStringList &found)
    {
        for (const QString &clash : clashes(altCaptions(window)))
            found << QStringLiteral("%1: %2").arg(what, clash);
    }

private Q_SLOTS:
    void cleanup()
    {
        m_h.reset();
        m_dir.reset();
    }

    void noAltKeyServesTwoControlsOfOneWindowOrMenu()
    {
        makeWindow();
        QStringList found;
        verifyNoClash(&window(), QStringLiteral("main window"), found);

        const QList<QMenu *> menus = everywindow::menus(window());
        QVERIFY(menus.size() >= 4);
        for (QMenu *menu : menus) {
            QStringList items;
            for (const QAction *action : menu->actions()) {
                if (action->isVisible() && !action->isSeparator())
                    items << action->text();
            }
            for (const QString &clash : clashes(items))
                found << QStringLiteral("menu %1: %2").arg(menu->title(), clash);
        }

        // Every window and dialog the main window opens.
        QVERIFY(everywindow::visitDialogs(window(), [&found](QWidget *dialog, const QString &what) {
            verifyNoClash(dialog, what, found);
        }));
        QVERIFY2(found.isEmpty(), qPrintable(found.join(QLatin1Char('\n'))));
    }

    // Tab goes through the main window as it is read: top to bottom, and
    // within a band left to right; the Auto record switch is one of its stops.
    void tabFollowsTheLayoutAndReachesAutoRecord()
    {
        makeWindow();
        window().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window()));
        ui().dataFilePath->setFocus(Qt::TabFocusReason);
        QList<QWidget *> cycle{ui().dataFilePath};
        for (int i = 0; i < 200; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget *now = QApplication::focusWidget();
            if (!now || cycle.contains(now))
                break;
            cycle << now;
        }
        const auto place = [this](QWidget *widget) {
            return QRect(widget->mapTo(&window(), QPoint(0, 0)), widget->size());
        };
        QStringList order;
        QStringList backwards;
        for (qsizetype i = 0; i < cycle.size(); ++i) {
            order << cycle[i]->objectName();
            if (i == 0)
                continue;
            const QRect before = place(cycle[i - 1]);
            const QRect here = place(cycle[i]);
            // Further down, or to the right while the earlier one is not yet
            // passed (a column beside it).
            const bool below = here.top() >= before.top() + before.height() / 2;
            const bool right = here.left() >= before.right() - 2 && here.top() < before.bottom();
            if (!below && !right)
                backwards << QStringLiteral("%1 -> %2").arg(cycle[i - 1]->objectName(), cycle[i]->objectName());
        }
        QVERIFY2(backwards.isEmpty(), qPrintable(backwards.join(QLatin1String(", ")) + QLatin1String("\nin ")
                                                 + order.join(QLatin1String(", "))));
        auto *autoRecord = window().findChild<QCheckBox *>(QStringLiteral("autoRecordToggle"));
        QVERIFY2(cycle.contains(autoRecord), qPrintable(order.join(QLatin1String(", "))));
        for (QWidget *stop : std::initializer_list<QWidget *>{ui().browseButton, ui().dataButton, ui().startButton,
                                                              ui().resistanceEntries[0], ui().voltageEntries[2],
                                                              window().cellIds().field()})
            QVERIFY2(cycle.contains(stop), qPrintable(stop->objectName() + QLatin1String(" not in ")
                                                      + order.join(QLatin1String(", "))));
    }
};

BIN4870_TEST(TestKeys)
#include "tst_keys.moc"
