#pragma once

#include <QString>
#include <QWidget>

class BoundedLabel;
class QHBoxLayout;
class QLabel;

// The area below the main window's client area. Its message line, two lines
// high, tells the state of the session: the line lost and back, a cell
// counted, a cell auto record skipped, a full counter, a stopped session. The
// row under it holds the indicators: the session's running count at the left,
// then what the window's parts add at the right (the tester's profile and
// word, the central record, Auto record).
//
// Whatever it shows, it keeps its height and asks for no width of its own:
// a long text wraps within the message line's two lines or is cut with "…"
// (the whole text then in the tooltip and the accessible description), so
// nothing above it moves and the window keeps its size.
class StatusArea : public QWidget
{
    Q_OBJECT
public:
    enum class Tone {
        Attention, // something is wrong or waits for the operator: dark red
        Good,      // good news: green
        Plain,     // information: the window's text colour
    };

    explicit StatusArea(QWidget *parent = nullptr);

    // Shows the message and tells it to assistive technology; empty clears it
    // silently.
    void showMessage(const QString &text, Tone tone);
    BoundedLabel *messageLine() const { return m_message; }

    // The cells counted in this session; hidden until the first session starts.
    void showCellCount(int cells);
    QLabel *cellCount() const { return m_cellCount; }

    // Adds a widget to the indicator row, right of those added before; one
    // added as last stays at the right end, whatever comes after it.
    enum class Place { Next, Last };
    void addIndicator(QWidget *indicator, Place place = Place::Next);
    // A one-line indicator whose text is cut with "…" beyond maxWidth pixels.
    BoundedLabel *addTextIndicator(const QString &objectName, int maxWidth);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    // A message was told to assistive technology.
    void announced(const QString &text);

private:
    BoundedLabel *m_message = nullptr;
    QLabel *m_cellCount = nullptr;
    QHBoxLayout *m_indicators = nullptr;
    int m_lastIndicators = 0;
};
