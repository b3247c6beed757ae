#pragma once

#include "app/quality/qualitywindow.h"

#include <QObject>
#include <QPointer>

class FormMain;
class QAction;
class QPushButton;
class BinTables;

// Opens the batch window from the main window's BATCH button (under DATA) and
// its File > Batch... item, on the data file named in the path field, and
// passes every cell the session counts on to an open batch window.
class QualityLauncher : public QObject
{
    Q_OBJECT
public:
    QualityLauncher(FormMain &window, const BinTables &binTables);

    // Opens the window, or brings an open one to the front.
    void openBatch();
    QualityWindow *batchWindow() const { return m_form; }
    QPushButton *button() const { return m_button; }
    QAction *menuItem() const { return m_menuItem; }

private:
    FormMain &m_window;
    const BinTables &m_binTables;
    QPushButton *m_button = nullptr;
    QAction *m_menuItem = nullptr;
    QPointer<QualityWindow> m_form;
};
