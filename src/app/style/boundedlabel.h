#pragma once

#include <QLabel>
#include <QString>

// A label for a text of any length in a room that never grows: the text wraps
// at word boundaries within at most maxLines lines, and what does not fit ends
// the last line with "…". While the text is cut, the whole of it is the
// tooltip and the accessible description. The accessible name is the whole
// text, as for any label, so a screen reader reads all of it.
//
// It asks its layout for the height of maxLines lines whatever it shows, and
// for no more width than hintWidth (by default none beyond a few characters):
// the layout gives it its width, and a longer text never widens or heightens
// the window.
class BoundedLabel : public QLabel
{
    Q_OBJECT
public:
    explicit BoundedLabel(int maxLines, QWidget *parent = nullptr);

    // Shows text (plain text) and updates the tooltip and description.
    void setText(const QString &text);
    void clear() { setText(QString()); }

    // The widest the size hint asks for; the text's own width when narrower.
    void setHintWidth(int pixels);
    int maxLines() const { return m_maxLines; }

    // Whether the text does not fit the label's present size.
    bool isCut() const;
    // The lines drawn at the present width, the last one ending in "…" when cut.
    QStringList shownLines() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return false; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    struct Lines
    {
        QStringList lines;
        bool cut = false;
    };
    Lines layOut(int width) const;
    int textWidth() const;
    void updateWholeText();

    int m_maxLines;
    int m_hintWidth = 0;
    bool m_shownCut = false;
};
