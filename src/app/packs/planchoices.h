#pragma once

#include "common/result.h"
#include "pack/capacitycsv.h"
#include "pack/packplan.h"
#include "pack/poolreader.h"

#include <QString>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLineEdit;
class QPushButton;
struct PackPlaces;

// What the build sheet plans with: where the cells come from and which of
// them, the pack's shape and windows, the capacity file and the seed.
struct PlanRequest
{
    PoolSource source;
    PoolFilter filter;
    PlanSettings settings;
    QString capacityFile; // empty: none, the plan balances on what the bench measured
    CapacityColumns columns;
};

// The build sheet's choices, in two groups: "Cells" (source, data file,
// bench, from - to, BINs, K-value, failed re-tests) and "Pack" (shape, group
// and voltage windows, capacity file and its columns, seed). Every change
// the user makes is told by changed().
class PlanChoices : public QWidget
{
    Q_OBJECT
public:
    PlanChoices(const PackPlaces &places, QWidget *parent = nullptr);

    // The request the choices make, or what is wrong with them, naming the
    // field ("Shape: ..."). The capacity columns come from CapacityCsv.ini.
    Result<PlanRequest> request() const;

    // A file chosen in a Browse dialog.
    void setDataFile(const QString &path);
    void setCapacityFile(const QString &path);

    QComboBox *sourceBox() const { return m_source; }
    QLineEdit *shapeField() const { return m_shape; }
    QLineEdit *capacityField() const { return m_capacityFile; }
    QPushButton *columnsButton() const { return m_columns; }

Q_SIGNALS:
    void changed();
    // "Columns..." was pressed.
    void columnsAsked();
    // A Browse button was pressed: for the data file (true) or the capacity file.
    void browseAsked(bool dataFile);

private:
    QWidget *buildCells();
    QWidget *buildPack();
    void updateEnabled();

    const PackPlaces &m_places;
    QComboBox *m_source = nullptr;
    QLineEdit *m_dataFile = nullptr;
    QPushButton *m_dataBrowse = nullptr;
    QLineEdit *m_bench = nullptr;
    QCheckBox *m_fromOn = nullptr;
    QDateTimeEdit *m_from = nullptr;
    QCheckBox *m_toOn = nullptr;
    QDateTimeEdit *m_to = nullptr;
    QLineEdit *m_resistanceBins = nullptr;
    QLineEdit *m_voltageBins = nullptr;
    QComboBox *m_kVerdict = nullptr;
    QCheckBox *m_withoutFailedRetests = nullptr;
    QLineEdit *m_shape = nullptr;
    QLineEdit *m_groupWindow = nullptr;
    QLineEdit *m_voltageWindow = nullptr;
    QLineEdit *m_capacityFile = nullptr;
    QPushButton *m_capacityBrowse = nullptr;
    QPushButton *m_columns = nullptr;
    QLineEdit *m_seed = nullptr;
};
