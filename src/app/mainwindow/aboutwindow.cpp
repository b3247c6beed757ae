#include "app/mainwindow/aboutwindow.h"

#include "app/style/programicon.h"
#include "app/style/uifonts.h"
#include "common/version.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

using uifonts::twips;

namespace {

// Translated where the window shows them (AboutWindow::tr).
const char *const kAppName = QT_TRANSLATE_NOOP("AboutWindow", "BATTERY KELVANO BIN Measurement");
const char *const kCopyright = QT_TRANSLATE_NOOP("AboutWindow", "Copyright (C) 2026 BIN4870 team");
const char *const kNotice = QT_TRANSLATE_NOOP("AboutWindow", "Check the BIN limits before each batch of cells.");

QLabel *makeLabel(QWidget *parent, const char *name, const QString &text, const QRect &geometry, const QFont &font,
                  Qt::Alignment alignment)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    label->setFont(font);
    label->setAlignment(alignment);
    return label;
}

bool isEnter(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

AboutWindow::AboutWindow(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                          | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("FormAbout"));
    setWindowTitle(tr("BATTERY KELVANO BIN"));
    setWindowIcon(programIcon());
    setFixedSize(kClientWidth, kClientHeight);

    // Every control sits where the window definition puts it (twips / 15).
    m_picIcon = new QLabel(this);
    m_picIcon->setObjectName(QStringLiteral("picIcon"));
    m_picIcon->setGeometry(twips(240), twips(120), twips(480), twips(480));
    m_picIcon->setPixmap(programIcon().pixmap(32, 32));
    m_picIcon->setAccessibleName(tr("Program icon"));

    // The product name takes two lines beside the icon; its label starts under
    // the icon's right edge, the centred text clear of it.
    m_lblAppName = makeLabel(this, "lblAppName", tr(kAppName), QRect(twips(600), twips(120), twips(4215), twips(615)),
                             uifonts::tahoma(12, true), Qt::AlignCenter);
    m_lblAppName->setWordWrap(true);

    m_lblVersion = makeLabel(this, "lblVersion", versionLine(version::kMajor, version::kMinor, version::kRevision),
                             QRect(twips(1440), twips(720), twips(2295), twips(375)), uifonts::msSansSerif(12),
                             Qt::AlignCenter);
    uifonts::fitText(m_lblVersion, versionLine(99, 99, 999));

    // One line: the notice is short enough for the label's width.
    const QString copyright = tr(kCopyright);
    m_lblCopyright1 = makeLabel(this, "lblCopyright1", copyright,
                                QRect(twips(600), twips(1170), twips(3975), twips(255)), uifonts::arial(9.75),
                                Qt::AlignCenter);
    uifonts::fitText(m_lblCopyright1, copyright);

    m_lblCopyright2 = makeLabel(this, "lblCopyright2", tr(kNotice), QRect(twips(360), twips(1440), twips(4695), twips(450)),
                                uifonts::msSerif(8.25), Qt::AlignLeft | Qt::AlignVCenter);
    m_lblCopyright2->setWordWrap(true);

    m_cmdOK = new QPushButton(tr("OK"), this);
    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));
    m_cmdOK->setGeometry(twips(2040), twips(1800), twips(1155), twips(345));
    m_cmdOK->setDefault(true);
    m_cmdOK->installEventFilter(this);
    connect(m_cmdOK, &QPushButton::clicked, this, &QDialog::accept);
}

void AboutWindow::setTesterProfile(const QString &text)
{
    if (!m_lblTesterProfile) {
        // Left of OK, in the room the window definition leaves there.
        m_lblTesterProfile = makeLabel(this, "lblTesterProfile", QString(),
                                       QRect(twips(120), twips(1800), twips(1860), twips(345)),
                                       uifonts::msSerif(8.25), Qt::AlignLeft | Qt::AlignVCenter);
    }
    // Two lines; a long name is shortened in the middle and whole on hover.
    m_lblTesterProfile->setToolTip(tr("Tester profile: %1").arg(text));
    m_lblTesterProfile->setText(tr("Tester profile:\n%1").arg(
        m_lblTesterProfile->fontMetrics().elidedText(text, Qt::ElideMiddle, m_lblTesterProfile->width())));
}

// Keys reach cmdOK first while it has the focus: only Enter may press it
// there; Space and every other key go no further.
bool AboutWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_cmdOK && (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (isEnter(key->key()))
            return false;
        if (event->type() == QEvent::KeyPress)
            keyPressEvent(key);
        else
            keyReleaseEvent(key);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void AboutWindow::keyPressEvent(QKeyEvent *event)
{
    if (isEnter(event->key()) && !event->isAutoRepeat()) {
        m_cmdOK->click();
        return;
    }
    event->accept();
}

void AboutWindow::keyReleaseEvent(QKeyEvent *event)
{
    event->accept();
    if (event->key() == Qt::Key_Escape && !event->isAutoRepeat())
        reject();
}

void AboutWindow::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (const QScreen *where = screen() ? screen() : QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(where->availableGeometry().center());
        move(frame.topLeft());
    }
}
