#pragma once

#include "bins/processstats.h"

#include <QString>
#include <QWidget>

#include <array>

class QLabel;
class QLineEdit;
class QPushButton;

// The bar where a quality engineer gives the specification capability is
// judged against: LSL, USL and target of resistance (mOhm) and voltage (V).
// A quantity left empty is judged against the outer BIN limits. APPLY checks
// the entries, keeps them in Specification.ini in the settings folder and
// tells the tab; BIN LIMITS empties them all. The label beside says which
// limits are in use, or why the file or an entry was refused.
class SpecificationBar : public QWidget
{
    Q_OBJECT
public:
    explicit SpecificationBar(QWidget *parent = nullptr);

    // Reads Specification.ini from the folder (nothing when empty) into the
    // entries; a refused file is told, and the BIN limits serve.
    void load(const QString &settingsFolder);
    const spc::Specification &specification() const { return m_specification; }

    // Puts the entries' texts and applies them, as a user typing and
    // pressing APPLY would.
    void enter(int t, const QString &lower, const QString &upper, const QString &target);
    void apply();

Q_SIGNALS:
    // The specification in use was changed.
    void changed();

private:
    void showEntries();
    void tell(const QString &problem);

    QString m_folder;
    spc::Specification m_specification;
    std::array<std::array<QLineEdit *, 3>, 2> m_edits{};
    QPushButton *m_applyButton = nullptr;
    QPushButton *m_clearButton = nullptr;
    QLabel *m_stateLabel = nullptr;
};
