#pragma once

// Every window and dialog the main window opens, opened the way the operator
// opens them, for checks that walk all of them (keys, captions).

#include "formmainharness.h"

#include "app/cellids/cellhistorywindow.h"
#include "app/cellids/cellidcontrols.h"
#include "app/cellids/cellidoptionsdialog.h"
#include "app/centralrecord/centralrecordcontrols.h"
#include "app/centralrecord/centralrecorddialog.h"
#include "app/handsfree/handsfreecontrols.h"
#include "app/handsfree/handsfreedialog.h"
#include "app/mainwindow/aboutwindow.h"
#include "app/mainwindow/guidewindow.h"
#include "app/packs/packlauncher.h"
#include "app/quality/qualitywindow.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <functional>

namespace everywindow {

// Calls visit(window, name) for each window in turn while it shows, then
// closes it: the hands-free options, the central record, the cell-ID options,
// the cell history, About, the guide (readmeE.txt must be in the harness's
// documents folder), the BIN counter, the pack build sheet and placement, and
// the batch window once per tab.
// False when one did not open.
inline bool visitDialogs(FormMain &window, const std::function<void(QWidget *, const QString &)> &visit)
{
    const auto shown = [&visit](QWidget *dialog, const QString &name) {
        if (!dialog || !QTest::qWaitForWindowExposed(dialog))
            return false;
        visit(dialog, name);
        dialog->close();
        return true;
    };
    const FormMainUi &ui = window.ui();
    window.handsFree().openDialog();
    if (!shown(window.handsFree().dialog(), QStringLiteral("Hands-free options")))
        return false;
    window.centralRecord().openDialog();
    if (!shown(window.centralRecord().dialog(), QStringLiteral("Central record")))
        return false;
    window.cellIds().openOptionsDialog();
    if (!shown(window.cellIds().optionsDialog(), QStringLiteral("Cell IDs")))
        return false;
    window.cellIds().openHistoryWindow();
    if (!shown(window.cellIds().historyWindow(), QStringLiteral("Cell history")))
        return false;
    ui.versionAction->trigger();
    if (!shown(window.findChild<AboutWindow *>(), QStringLiteral("About")))
        return false;
    ui.helpAction->trigger();
    if (!shown(window.findChild<GuideWindow *>(), QStringLiteral("guide")))
        return false;
    ui.dataButton->click();
    if (!shown(window.findChild<QDialog *>(QStringLiteral("FormOption")), QStringLiteral("BIN COUNTER")))
        return false;
    window.packs().buildItem()->trigger();
    if (!shown(window.packs().buildSheet(), QStringLiteral("Build a pack")))
        return false;
    window.packs().placementItem()->trigger();
    if (!shown(window.packs().placement(), QStringLiteral("Pack placement")))
        return false;

    auto *batchButton = window.findChild<QPushButton *>(QStringLiteral("batchButton"));
    if (!batchButton)
        return false;
    batchButton->click();
    auto *batch = window.findChild<QualityWindow *>();
    if (!batch || !QTest::qWaitForWindowExposed(batch))
        return false;
    auto *tabs = batch->findChild<QTabWidget *>(QStringLiteral("batchTabs"));
    if (!tabs)
        return false;
    for (int tab = 0; tab < tabs->count(); ++tab) {
        tabs->setCurrentIndex(tab);
        visit(batch, QStringLiteral("BATCH, tab %1").arg(tab + 1));
    }
    batch->close();
    return true;
}

// Every menu of the window's menu bar and below, each once.
inline QList<QMenu *> menus(FormMain &window)
{
    QList<QMenu *> found;
    const std::function<void(QMenu *)> collect = [&found, &collect](QMenu *menu) {
        found << menu;
        for (QAction *action : menu->actions()) {
            if (action->menu())
                collect(action->menu());
        }
    };
    for (QAction *top : window.menuBar()->actions()) {
        if (top->menu())
            collect(top->menu());
    }
    return found;
}

} // namespace everywindow
