#include "app/quality/qualityexports.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

QualityExports::QualityExports(QWidget *window, QString dataPath, Save save)
    : QObject(window), m_window(window), m_dataPath(std::move(dataPath)), m_save(std::move(save))
{
}

void QualityExports::ask(Kind kind)
{
    // One save dialog at a time; an earlier one may still wait for deletion.
    delete m_dialog;
    auto *dialog = new QFileDialog(m_window);
    dialog->setObjectName(QStringLiteral("exportDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    const QFileInfo data(m_dataPath);
    auto offer = [&](const QString &filter, const char *suffix, const char *ending) {
        dialog->setNameFilters({filter});
        dialog->setDefaultSuffix(QLatin1String(suffix));
        dialog->selectFile(data.dir().filePath(data.completeBaseName() + QLatin1String(ending)));
    };
    switch (kind) {
    case Kind::Plots:
        offer(tr("PNG picture (*.png)"), "png", "-plots.png");
        break;
    case Kind::Table:
        offer(tr("CSV table (*.csv)"), "csv", "-bins.csv");
        break;
    case Kind::Report:
        offer(tr("PDF document (*.pdf)"), "pdf", "-report.pdf");
        break;
    }
    connect(dialog, &QFileDialog::fileSelected, this, [this, kind](const QString &path) { exportTo(kind, path); });
    m_dialog = dialog;
    dialog->open();
}

void QualityExports::exportTo(Kind kind, const QString &path)
{
    QString error;
    if (!m_save(kind, path, &error))
        tell(tr("%1 could not be saved: %2").arg(QDir::toNativeSeparators(path), error));
}

void QualityExports::tell(const QString &text)
{
    auto *box = new QMessageBox(QMessageBox::Warning, m_window->windowTitle(), text, QMessageBox::Ok, m_window);
    box->setObjectName(QStringLiteral("batchMessage"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}
