#pragma once

#include "settings/handsfreeoptions.h"

#include <QDialog>

#include <array>

class QCheckBox;
class QLabel;
class QLineEdit;

// "Hands-free options": auto record on or off, its settle rule, and the sound
// cue. Opened with open() or show(); OK checks every field and, when they are
// all good, hands the options over through chosen() and closes. A bad field
// keeps the dialog open, says what is wrong in the dialog and takes the focus.
class HandsFreeDialog : public QDialog
{
    Q_OBJECT
public:
    explicit HandsFreeDialog(const HandsFreeOptions &options, QWidget *parent = nullptr);

    // The field of a settle parameter (objectName: the parameter's key).
    QLineEdit *field(SettleParameter parameter) const;
    QLabel *errorText() const { return m_errorText; }

Q_SIGNALS:
    void chosen(const HandsFreeOptions &options);

private:
    void showOptions(const HandsFreeOptions &options);
    void onOk();

    QCheckBox *m_autoRecordBox = nullptr;
    QCheckBox *m_soundBox = nullptr;
    std::array<QLineEdit *, 6> m_fields{};
    QLabel *m_errorText = nullptr;
};
