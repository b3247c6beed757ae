#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// The About window: product name, version line and two fixed notices. The
// caller creates it and shows it with open(); it deletes itself when closed.
//
// Keyboard: key presses and typed characters are discarded; releasing Esc
// closes the window. Enter still presses cmdOK, the default button.
class AboutWindow : public QDialog
{
    Q_OBJECT
public:
    // Client area: 5160 x 2385 twips.
    static constexpr int kClientWidth = 344;
    static constexpr int kClientHeight = 159;

    explicit AboutWindow(QWidget *parent = nullptr);

    // Shows the tester profile in use ("lblTesterProfile", beside OK); the
    // label is made on the first call.
    void setTesterProfile(const QString &text);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    QLabel *m_picIcon = nullptr;
    QLabel *m_lblAppName = nullptr;
    QLabel *m_lblVersion = nullptr;
    QLabel *m_lblCopyright1 = nullptr;
    QLabel *m_lblCopyright2 = nullptr;
    QPushButton *m_cmdOK = nullptr;
    QLabel *m_lblTesterProfile = nullptr;
};
