#pragma once

// The main window built as the program builds it, but with a fixed clock and
// dialogs that record what they were asked instead of showing anything modal.
// The serial port is real: it finds the COMn links in the given program folder.

#include "app/mainwindow/formmain.h"
#include "bins/bintables.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/qtserialport.h"
#include "record/datafile.h"

#include <QByteArray>
#include <QFile>
#include <QLineEdit>
#include <QList>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QTest>

#include <memory>

class FakeClock : public Clock
{
public:
    QDateTime now() const override { return current; }
    QDateTime current{QDate(2012, 8, 2), QTime(14, 5, 9)};
};

class FakeDialogs : public Dialogs
{
public:
    struct Message
    {
        QString text;
        QString title;
        Icon icon;
    };

    void showMessage(const QString &text, const QString &title, Icon icon) override
    {
        messages.append(Message{text, title, icon});
    }

    // Answers at once with the scripted results in turn; cancelled when none
    // is left.
    void askSavePath(const SaveDialogSetup &setup,
                     std::function<void(const SaveDialogResult &)> done) override
    {
        saveSetups.append(setup);
        done(saveResults.isEmpty() ? SaveDialogResult{} : saveResults.takeFirst());
    }

    QStringList messageTexts() const
    {
        QStringList texts;
        for (const Message &message : messages)
            texts << message.text;
        return texts;
    }

    QList<Message> messages;
    QList<SaveDialogSetup> saveSetups;
    QList<SaveDialogResult> saveResults;
};

struct FormMainHarness
{
    // A folder alone is a portable program: everything lives in it.
    explicit FormMainHarness(const FileLocations &where) : programDir(where.programDir), port(where.settingsDir)
    {
        window = std::make_unique<FormMain>(port, clock, dialogs, binTables, dataFile, where);
    }

    ~FormMainHarness()
    {
        // The window goes first: it uses everything below.
        window.reset();
    }

    // Sets one counter of table t (row 0..8 a BIN, 9 OUT, 10 the total) as if
    // that many cells had been counted.
    void setCounter(int t, int row, qint16 count)
    {
        BinTable table = binTables.table(t);
        (row == 10 ? table.totalCount : table.binCount[std::size_t(row)]) = count;
        binTables.setTable(t, table);
    }

    QString programDir;
    QtSerialPort port;
    FakeClock clock;
    FakeDialogs dialogs;
    BinTables binTables;
    const BinTable &binTableR = binTables.resistance();
    const BinTable &binTableV = binTables.voltage();
    DataFile dataFile;
    std::unique_ptr<FormMain> window;
};

// The lines of a file without their LF (a CR before it stays), no empty line
// after the last LF; none when the file cannot be read.
inline QList<QByteArray> fileLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = file.readAll().split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// Presses RESET in the counter window `form` and answers Yes to its question.
inline void resetCounters(QWidget *form)
{
    for (QPushButton *button : form->findChildren<QPushButton *>()) {
        if (button->text() == QStringLiteral("RESET"))
            button->click();
    }
    if (auto *question = form->findChild<QMessageBox *>(QStringLiteral("resetQuestion")))
        question->button(QMessageBox::Yes)->click();
}

// Replaces a box's text the way the operator does: cleared, then typed key by key.
inline void retype(QLineEdit *box, const QString &text)
{
    box->clear();
    QTest::keyClicks(box, text);
}

// One BIN per table, 10..30 mOhm and 3..4 V, typed into the set-up panels.
inline void setOneBinPerTable(const FormMainUi &ui)
{
    retype(ui.resistanceEntries[0], QStringLiteral("1"));
    retype(ui.resistanceEntries[1], QStringLiteral("10"));
    retype(ui.resistanceEntries[2], QStringLiteral("30"));
    retype(ui.voltageEntries[0], QStringLiteral("1"));
    retype(ui.voltageEntries[1], QStringLiteral("3"));
    retype(ui.voltageEntries[2], QStringLiteral("4"));
}

// Presses "REC - COUNT" and waits until the armed reading has been counted.
// False when the press armed nothing or no reading was counted in time.
inline bool countOne(FormMain &window)
{
    QTest::mouseClick(window.ui().recCountButton, Qt::LeftButton);
    if (!window.session().recordArmed())
        return false;
    return QTest::qWaitFor([&window] { return !window.session().recordArmed(); }, 10000);
}
