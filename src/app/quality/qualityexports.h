#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QFileDialog;
class QWidget;

// The quality window's exports: the plots as a PNG picture, the per-BIN table
// as CSV and the shift report as PDF, each to a file chosen in a save dialog
// opened window-modal (one at a time) beside the data file. A file that
// cannot be written is told in a message box.
class QualityExports : public QObject
{
    Q_OBJECT
public:
    enum class Kind { Plots, Table, Report };
    // Writes the export to the path; false with the system's reason in *error.
    using Save = std::function<bool(Kind kind, const QString &path, QString *error)>;

    QualityExports(QWidget *window, QString dataPath, Save save);

    // Opens the save dialog for the export.
    void ask(Kind kind);

private:
    void exportTo(Kind kind, const QString &path);
    void tell(const QString &text);

    QWidget *m_window;
    QString m_dataPath;
    Save m_save;
    QPointer<QFileDialog> m_dialog;
};
