#pragma once

// The main window built as the program builds it, but with a fixed clock and
// dialogs that record what they were asked instead of showing anything modal.
// The serial port is real: it finds the COMn links in the given program folder.

#include "app/formmain.h"
#include "bins/bintable.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/qteventpump.h"
#include "platform/qtserialport.h"
#include "record/datafile.h"

#include <QList>
#include <QStringList>

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

    // Answers with the scripted results in turn; cancelled when none is left.
    SaveDialogResult askSavePath(const SaveDialogSetup &setup) override
    {
        saveSetups.append(setup);
        return saveResults.isEmpty() ? SaveDialogResult{} : saveResults.takeFirst();
    }

    bool startEditor(const QString &path) override
    {
        editorPaths.append(path);
        return editorStarts;
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
    QStringList editorPaths;
    bool editorStarts = true;
};

struct FormMainHarness
{
    explicit FormMainHarness(const QString &dir) : programDir(dir), port(dir)
    {
        window = std::make_unique<FormMain>(port, pump, clock, dialogs, binTableR, binTableV,
                                            dataFile, programDir);
    }

    ~FormMainHarness()
    {
        // The window goes first: it uses everything below.
        window.reset();
    }

    QString programDir;
    QtSerialPort port;
    QtEventPump pump;
    FakeClock clock;
    FakeDialogs dialogs;
    BinTable binTableR;
    BinTable binTableV;
    DataFile dataFile;
    std::unique_ptr<FormMain> window;
};
