#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>

// How the save dialog is set up for choosing the data file.
struct SaveDialogSetup
{
    QString initialPath;
    QStringList filters;   // display names with their patterns, e.g. "text (*.csv *.txt *.dat)"
    int selectedFilter = 0;
    QString defaultSuffix; // without the dot
    bool confirmOverwrite = true;
    // Shown in the dialog's title: what happens to a file that exists.
    QString note;
};

struct SaveDialogResult
{
    enum class Outcome { Chosen, Cancelled, Failed };
    Outcome outcome = Outcome::Cancelled;
    QString path;  // when Chosen
    QString error; // when Failed: the platform's description
};

// Everything the windows show modally. The windows
// reach it through this interface so tests never meet a real modal dialog.
// Nothing here waits for the operator: dialogs open window-modal and return at
// once, and answers come back through a callback.
class Dialogs
{
public:
    enum class Icon { None, Warning };

    virtual ~Dialogs() = default;

    // Opens a message box with a single OK button.
    virtual void showMessage(const QString &text, const QString &title, Icon icon) = 0;

    // A warning that does not hold the program up: it stays on screen while the
    // operator goes on, and a later notice replaces the text of one still shown
    // instead of opening another.
    virtual void showNotice(const QString &text, const QString &title)
    {
        showMessage(text, title, Icon::Warning);
    }

    // Opens the save dialog; done receives the outcome once the operator has
    // answered. done is not called when the dialog's parent goes away first.
    virtual void askSavePath(const SaveDialogSetup &setup,
                             std::function<void(const SaveDialogResult &)> done) = 0;
};

class QMessageBox;
class QWidget;

class QtDialogs : public Dialogs
{
public:
    explicit QtDialogs(QWidget *parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget *parent) { m_parent = parent; }

    void showMessage(const QString &text, const QString &title, Icon icon) override;
    void showNotice(const QString &text, const QString &title) override;
    void askSavePath(const SaveDialogSetup &setup,
                     std::function<void(const SaveDialogResult &)> done) override;

private:
    QWidget *m_parent;
    QPointer<QMessageBox> m_notice;
};
