#pragma once

#include "app/packs/buildsheetwindow.h"
#include "app/packs/packplaces.h"
#include "app/packs/placementwindow.h"

#include <QObject>
#include <QPointer>

class QAction;
class QMenu;
class QWidget;

// File > "Build a pack..." and File > "Pack placement...": each opens its
// window once, or brings the open one forward. A plan saved in the build
// sheet shows in an open placement window's list at once.
class PackLauncher : public QObject
{
    Q_OBJECT
public:
    // Puts the two items into fileMenu, with the other windows' items before
    // the separator above Exit.
    PackLauncher(QWidget *window, QMenu *fileMenu, PackPlaces places);

    BuildSheetWindow *openBuildSheet();
    PlacementWindow *openPlacement();
    QAction *buildItem() const { return m_buildItem; }
    QAction *placementItem() const { return m_placementItem; }
    BuildSheetWindow *buildSheet() const { return m_buildSheet; }
    PlacementWindow *placement() const { return m_placement; }

private:
    QWidget *m_window;
    PackPlaces m_places;
    QAction *m_buildItem = nullptr;
    QAction *m_placementItem = nullptr;
    QPointer<BuildSheetWindow> m_buildSheet;
    QPointer<PlacementWindow> m_placement;
};
