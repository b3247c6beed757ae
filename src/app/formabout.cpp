#include "formabout.h"

#include "programicon.h"
#include "uifonts.h"
#include "version.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

namespace {

const QString kAppName = QStringLiteral("BATTERY KELVANO BIN Measurement");
const QString kCopyright = QStringLiteral("Copyright (C) 2026 The BIN4870 developers. All rights reserved.");
const QString kNotice = QStringLiteral("Check the BIN limits before each batch of cells.");

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

FormAbout::FormAbout(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                          | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("FormAbout"));
    setWindowTitle(QStringLiteral("BATTERY KELVANO BIN"));
    setWindowIcon(programIcon());
    setFixedSize(kClientWidth, kClientHeight);

    m_picIcon = new QLabel(this);
    m_picIcon->setObjectName(QStringLiteral("picIcon"));
    m_picIcon->setGeometry(16, 8, 32, 32);
    m_picIcon->setPixmap(programIcon().pixmap(32, 32));

    // The product name takes two lines beside the icon.
    m_lblAppName = makeLabel(this, "lblAppName", kAppName, QRect(56, 8, 280, 40), uifonts::tahoma(12, true),
                             Qt::AlignCenter);
    m_lblAppName->setWordWrap(true);

    m_lblVersion = makeLabel(this, "lblVersion", versionLine(version::kMajor, version::kMinor, version::kRevision),
                             QRect(96, 48, 153, 25), uifonts::msSansSerif(12), Qt::AlignCenter);
    uifonts::fitText(m_lblVersion, versionLine(99, 99, 999));

    // The copyright line is longer than one line of the window at this size:
    // it takes the full width and two lines.
    m_lblCopyright1 = makeLabel(this, "lblCopyright1", kCopyright, QRect(8, 74, 328, 32), uifonts::arial(9.75),
                                Qt::AlignCenter);
    m_lblCopyright1->setWordWrap(true);

    m_lblCopyright2 = makeLabel(this, "lblCopyright2", kNotice, QRect(8, 106, 328, 14), uifonts::msSerif(8.25),
                                Qt::AlignLeft | Qt::AlignVCenter);
    uifonts::fitText(m_lblCopyright2, kNotice);

    m_cmdOK = new QPushButton(QStringLiteral("OK"), this);
    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));
    m_cmdOK->setGeometry(136, 124, 77, 23);
    m_cmdOK->setDefault(true);
    m_cmdOK->installEventFilter(this);
    connect(m_cmdOK, &QPushButton::clicked, this, &QDialog::accept);
}

// Keys reach cmdOK first while it has the focus: only Enter may press it
// there; Space and every other key go no further.
bool FormAbout::eventFilter(QObject *watched, QEvent *event)
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

void FormAbout::keyPressEvent(QKeyEvent *event)
{
    if (isEnter(event->key()) && !event->isAutoRepeat()) {
        m_cmdOK->click();
        return;
    }
    event->accept();
}

void FormAbout::keyReleaseEvent(QKeyEvent *event)
{
    event->accept();
    if (event->key() == Qt::Key_Escape && !event->isAutoRepeat())
        reject();
}

void FormAbout::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (const QScreen *where = screen() ? screen() : QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(where->availableGeometry().center());
        move(frame.topLeft());
    }
}
