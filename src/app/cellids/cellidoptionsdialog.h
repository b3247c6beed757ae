#pragma once

#include "settings/cellidoptions.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;

// "Cell IDs": cell IDs on or off and their options. Opened with open() or
// show(); OK checks every field and, when they are all good, hands the options
// over through chosen() and closes. A bad field keeps the dialog open, says
// what is wrong and takes the focus.
class CellIdOptionsDialog : public QDialog
{
    Q_OBJECT
public:
    explicit CellIdOptionsDialog(const CellIdOptions &options, QWidget *parent = nullptr);

    QLabel *errorText() const { return m_errorText; }

Q_SIGNALS:
    void chosen(const CellIdOptions &options);

private:
    void showOptions(const CellIdOptions &options);
    void onOk();
    void refuse(QLineEdit *field, const QString &text);

    QCheckBox *m_enabledBox = nullptr;
    QCheckBox *m_allowBox = nullptr;
    QCheckBox *m_writeBox = nullptr;
    QCheckBox *m_scanFirstBox = nullptr;
    QLineEdit *m_pattern = nullptr;
    QLineEdit *m_prefix = nullptr;
    QLineEdit *m_suffix = nullptr;
    QLineEdit *m_rest = nullptr;
    QLineEdit *m_limit = nullptr;
    QLineEdit *m_resistanceShare = nullptr;
    QLineEdit *m_voltageMargin = nullptr;
    QLabel *m_errorText = nullptr;
};
