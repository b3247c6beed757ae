#include "app/mainwindow/guidewindow.h"

#include "app/style/programicon.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTextCursor>
#include <QVBoxLayout>

GuideWindow::GuideWindow(const QString &path, const QString &text, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("guideWindow"));
    setWindowTitle(tr("Operator's guide - %1").arg(path));
    setWindowIcon(programIcon());
    setAttribute(Qt::WA_DeleteOnClose);
    setSizeGripEnabled(true);

    m_text = new QPlainTextEdit(this);
    m_text->setObjectName(QStringLiteral("guideText"));
    m_text->setReadOnly(true);
    // Read-only text still takes the keyboard focus, so it can be read and copied by keys.
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_text->setPlainText(text);
    m_text->setAccessibleName(tr("Operator's guide"));
    m_text->setAccessibleDescription(path);

    auto *searchLabel = new QLabel(tr("&Find:"), this);
    m_search = new QLineEdit(this);
    m_search->setObjectName(QStringLiteral("guideSearch"));
    m_search->setClearButtonEnabled(true);
    searchLabel->setBuddy(m_search);
    m_search->setAccessibleName(tr("Find in the guide"));
    auto *next = new QPushButton(tr("&Next"), this);
    next->setAutoDefault(false);
    auto *previous = new QPushButton(tr("&Previous"), this);
    previous->setAutoDefault(false);
    m_searchNote = new QLabel(this);
    m_searchNote->setObjectName(QStringLiteral("guideSearchNote"));
    auto *close = new QPushButton(tr("Close"), this);
    close->setAutoDefault(false);

    auto *searchRow = new QHBoxLayout;
    searchRow->addWidget(searchLabel);
    searchRow->addWidget(m_search, 1);
    searchRow->addWidget(next);
    searchRow->addWidget(previous);
    searchRow->addWidget(m_searchNote);
    searchRow->addStretch();
    searchRow->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_text, 1);
    layout->addLayout(searchRow);
    resize(760, 600);

    connect(m_search, &QLineEdit::returnPressed, this, [this] { findTyped(false); });
    connect(next, &QPushButton::clicked, this, [this] { findTyped(false); });
    connect(previous, &QPushButton::clicked, this, [this] { findTyped(true); });
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    auto *findNext = new QShortcut(QKeySequence::FindNext, this);
    connect(findNext, &QShortcut::activated, this, [this] { findTyped(false); });
    auto *findPrevious = new QShortcut(QKeySequence::FindPrevious, this);
    connect(findPrevious, &QShortcut::activated, this, [this] { findTyped(true); });
    auto *findKey = new QShortcut(QKeySequence::Find, this);
    connect(findKey, &QShortcut::activated, this, [this] {
        m_search->setFocus(Qt::ShortcutFocusReason);
        m_search->selectAll();
    });
    m_search->setFocus();
}

bool GuideWindow::find(const QString &words, bool backwards)
{
    if (words.isEmpty())
        return false;
    const QTextDocument::FindFlags flags = backwards ? QTextDocument::FindBackward : QTextDocument::FindFlags();
    if (m_text->find(words, flags))
        return true;
    // Round from the end to the start (or back), once.
    const QTextCursor kept = m_text->textCursor();
    QTextCursor from(m_text->document());
    from.movePosition(backwards ? QTextCursor::End : QTextCursor::Start);
    m_text->setTextCursor(from);
    if (m_text->find(words, flags))
        return true;
    m_text->setTextCursor(kept);
    return false;
}

void GuideWindow::findTyped(bool backwards)
{
    const bool found = find(m_search->text(), backwards);
    m_searchNote->setText(found || m_search->text().isEmpty() ? QString() : tr("Not found"));
}
