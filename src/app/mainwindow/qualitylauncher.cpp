#include "app/mainwindow/qualitylauncher.h"

#include "app/quality/qualitywindow.h"
#include "app/mainwindow/formmain.h"
#include "app/style/singlewindow.h"
#include "app/style/uifonts.h"
#include "record/recordline.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QPushButton>


using uifonts::twips;

QualityLauncher::QualityLauncher(FormMain &window, const BinTables &binTables)
    : QObject(&window), m_window(window), m_binTables(binTables)
{
    const FormMainUi &ui = window.ui();
    // In the button column, in the free space under DATA, as large as DATA.
    m_button = new QPushButton(tr("&BATCH"), ui.centralWidget);
    m_button->setObjectName(QStringLiteral("batchButton"));
    m_button->setGeometry(QRect(QPoint(twips(8400), twips(3720)), ui.dataButton->size()));
    uifonts::fitText(m_button, tr("BATCH"));
    m_button->setAccessibleDescription(tr("Show the cells of the data file against the BIN limits"));
    connect(m_button, &QPushButton::clicked, this, &QualityLauncher::openBatch);

    m_menuItem = new QAction(tr("&Batch..."), ui.fileMenu);
    m_menuItem->setObjectName(QStringLiteral("batchMenuItem"));
    ui.fileMenu->insertAction(ui.exitAction, m_menuItem);
    ui.fileMenu->insertSeparator(ui.exitAction);
    connect(m_menuItem, &QAction::triggered, this, &QualityLauncher::openBatch);

    connect(&window.session(), &MeasurementSession::readingCounted, this, [this] {
        if (m_form)
            m_form->takeAppended();
    });
}

void QualityLauncher::openBatch()
{
    if (m_window.isShutDown())
        return;
    openOnce(m_form, [this] {
        // START opens the path with ".csv" added when it has no ".", so that is
        // the file the session writes.
        auto *window = new QualityWindow(m_binTables, withDefaultExtension(m_window.pathText()), &m_window);
        window->setRecordPlaces(QDir(m_window.locations().journalDir).filePath(QStringLiteral("journal.sqlite")),
                                m_window.settingsFolder());
        return window;
    });
}
