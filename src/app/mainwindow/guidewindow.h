#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPlainTextEdit;

// The operator's guide in a window of the program's own: the text read-only,
// with a search line (Enter or F3 finds the next place, Shift+F3 the one
// before, from the end round to the start). Not modal; deletes itself when
// closed.
class GuideWindow : public QDialog
{
    Q_OBJECT
public:
    GuideWindow(const QString &path, const QString &text, QWidget *parent = nullptr);

    // Selects the next place of `words` after the cursor (before it when
    // backwards), wrapping round once; false when the text has none.
    bool find(const QString &words, bool backwards = false);

private:
    void findTyped(bool backwards);

    QPlainTextEdit *m_text = nullptr;
    QLineEdit *m_search = nullptr;
    QLabel *m_searchNote = nullptr;
};
