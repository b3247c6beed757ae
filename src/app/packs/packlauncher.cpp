#include "app/packs/packlauncher.h"

#include "app/style/singlewindow.h"

#include <QAction>
#include <QMenu>

PackLauncher::PackLauncher(QWidget *window, QMenu *fileMenu, PackPlaces places)
    : QObject(window), m_window(window), m_places(std::move(places))
{
    m_buildItem = new QAction(tr("Build a &pack..."), fileMenu);
    m_buildItem->setObjectName(QStringLiteral("buildPackMenuItem"));
    m_placementItem = new QAction(tr("Pack p&lacement..."), fileMenu);
    m_placementItem->setObjectName(QStringLiteral("packPlacementMenuItem"));
    QAction *before = nullptr;
    for (QAction *item : fileMenu->actions()) {
        if (item->isSeparator()) {
            before = item;
            break;
        }
    }
    fileMenu->insertAction(before, m_buildItem);
    fileMenu->insertAction(before, m_placementItem);
    connect(m_buildItem, &QAction::triggered, this, &PackLauncher::openBuildSheet);
    connect(m_placementItem, &QAction::triggered, this, &PackLauncher::openPlacement);
}

BuildSheetWindow *PackLauncher::openBuildSheet()
{
    return openOnce(m_buildSheet, [this] {
        auto *sheet = new BuildSheetWindow(m_places, m_window);
        connect(sheet, &BuildSheetWindow::packSaved, this, [this] {
            if (m_placement)
                m_placement->refresh();
        });
        return sheet;
    });
}

PlacementWindow *PackLauncher::openPlacement()
{
    return openOnce(m_placement, [this] { return new PlacementWindow(m_places, m_window); });
}
