#include "platform/dialogs.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace {
struct DialogTexts
{
    Q_DECLARE_TR_FUNCTIONS(Dialogs)
};
} // namespace

void QtDialogs::showMessage(const QString &text, const QString &title, Icon icon)
{
    auto *box = new QMessageBox(icon == Icon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon, title,
                                text, QMessageBox::Ok, m_parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(m_parent ? Qt::WindowModal : Qt::ApplicationModal);
    box->open();
}

void QtDialogs::showNotice(const QString &text, const QString &title)
{
    if (!m_notice) {
        m_notice = new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Ok, m_parent);
        m_notice->setObjectName(QStringLiteral("notice"));
        m_notice->setAttribute(Qt::WA_DeleteOnClose);
        m_notice->setWindowModality(Qt::NonModal);
    }
    m_notice->setWindowTitle(title);
    m_notice->setText(text);
    m_notice->show();
    m_notice->raise();
}

void QtDialogs::askSavePath(const SaveDialogSetup &setup,
                            std::function<void(const SaveDialogResult &)> done)
{
    auto *dialog = new QFileDialog(m_parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(m_parent ? Qt::WindowModal : Qt::ApplicationModal);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilters(setup.filters);
    if (setup.selectedFilter >= 0 && setup.selectedFilter < setup.filters.size())
        dialog->selectNameFilter(setup.filters.at(setup.selectedFilter));
    dialog->setDefaultSuffix(setup.defaultSuffix);
    dialog->setOption(QFileDialog::DontConfirmOverwrite, !setup.confirmOverwrite);
    if (!setup.note.isEmpty())
        dialog->setWindowTitle(setup.note);
    dialog->selectFile(setup.initialPath);

    QObject::connect(dialog, &QDialog::finished, dialog, [dialog, done = std::move(done)](int code) {
        SaveDialogResult result;
        if (code != QDialog::Accepted) {
            result.outcome = SaveDialogResult::Outcome::Cancelled;
        } else {
            const QStringList chosen = dialog->selectedFiles();
            if (chosen.isEmpty() || chosen.first().isEmpty()) {
                result.outcome = SaveDialogResult::Outcome::Failed;
                result.error = DialogTexts::tr("The dialog returned no file name.");
            } else {
                result.outcome = SaveDialogResult::Outcome::Chosen;
                result.path = chosen.first();
            }
        }
        if (done)
            done(result);
    });
    dialog->open();
}
