#pragma once

#include "pack/capacitycsv.h"

#include <QDialog>
#include <QString>

class QCheckBox;
class QComboBox;
class QLabel;
class QSpinBox;

// Which columns of the capacity file hold the cell ID and the capacity, a
// header row or not, the separator and the decimal mark: chosen once for a
// file layout and kept in CapacityCsv.ini in the settings folder. OK saves;
// a mapping that cannot be used or saved is told in the dialog, which stays
// open. Window-modal, opened with open().
class CapacityColumnsDialog : public QDialog
{
    Q_OBJECT
public:
    CapacityColumnsDialog(QString settingsFolder, QWidget *parent = nullptr);

    CapacityColumns columns() const;
    void accept() override;

private:
    QString m_folder;
    QSpinBox *m_idColumn = nullptr;
    QSpinBox *m_capacityColumn = nullptr;
    QCheckBox *m_headerRow = nullptr;
    QComboBox *m_separator = nullptr;
    QCheckBox *m_decimalComma = nullptr;
    QLabel *m_problem = nullptr;
};
