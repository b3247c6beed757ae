#pragma once

#include <QDialog>
#include <QPointer>
#include <QWidget>

// The one window of its kind that a menu item or button opens. The first
// call makes it with make() and shows it: open() for a dialog made
// window-modal (it returns at once), show() for any other window. A later
// call, while it exists, makes none and brings that one forward, shown again
// when it was hidden. `kept` follows the window and empties itself when the
// window is deleted (on close, for one with Qt::WA_DeleteOnClose).
template <typename Window, typename Make>
Window *openOnce(QPointer<Window> &kept, Make make)
{
    if (!kept) {
        kept = make();
        auto *dialog = qobject_cast<QDialog *>(kept.data());
        if (dialog && dialog->windowModality() != Qt::NonModal)
            dialog->open();
        else
            kept->show();
    } else if (kept->isHidden()) {
        kept->show();
    }
    kept->raise();
    kept->activateWindow();
    return kept;
}
