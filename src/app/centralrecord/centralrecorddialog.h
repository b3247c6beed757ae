#pragma once

#include "common/backgroundpool.h"
#include "record/centraldatabase.h"
#include "settings/centralsettings.h"

#include <QDialog>
#include <QFutureWatcher>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

// "Central record": where the bench's counted cells go besides its own
// journal. Opened with open(); OK hands the settings over through chosen()
// and closes. "Test connection" tries the settings on a thread of the
// dialog's own and shows what it found in the dialog, which stays usable
// meanwhile; closing the dialog never waits for a test under way.
class CentralRecordDialog : public QDialog
{
    Q_OBJECT
public:
    // machine: the journal's Journal::machineIdentity(), for "Test
    // connection" to tell whether other machines use the bench name; empty
    // when the journal has none. hostNamed: the journal's cells not yet sent
    // that were counted under the host name, no bench name being set.
    explicit CentralRecordDialog(const CentralSettings &settings, QString machine = QString(), qint64 hostNamed = 0,
                                 QWidget *parent = nullptr);

    // What the cells will carry with the bench name field as typed: the
    // name, or the host name when it is blank, and the journal's cells that
    // carry the host name already.
    static QString benchNameNote(const QString &typed, const QString &hostName, qint64 hostNamed);
    QLabel *benchNameLabel() const { return m_benchNote; }
    ~CentralRecordDialog() override;

    CentralSettings settings() const;
    QLabel *testResult() const { return m_testResult; }
    QPushButton *testButton() const { return m_testButton; }
    bool testing() const { return m_probe.isRunning(); }

Q_SIGNALS:
    void chosen(const CentralSettings &settings);
    // A test of the connection has ended: how the database stands, or why
    // it could not be reached.
    void tested(const Result<QString> &outcome);

private:
    void tellResult(const QString &text);
    void onTest();
    void onTested();
    void onOk();

    QCheckBox *m_enabledBox = nullptr;
    QLineEdit *m_hostEdit = nullptr;
    QSpinBox *m_portBox = nullptr;
    QLineEdit *m_databaseEdit = nullptr;
    QLineEdit *m_userEdit = nullptr;
    QLineEdit *m_benchEdit = nullptr;
    QLabel *m_benchNote = nullptr;
    QComboBox *m_sslModeBox = nullptr;
    QPushButton *m_testButton = nullptr;
    QLabel *m_testResult = nullptr;
    QString m_machine;
    qint64 m_hostNamed = 0;
    BackgroundPool m_pool{1};
    QFutureWatcher<Result<QString>> m_probe;
};
