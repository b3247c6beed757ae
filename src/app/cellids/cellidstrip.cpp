#include "app/cellids/cellidstrip.h"

#include "app/style/warninglabel.h"

#include <QAction>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <memory>

CellIdStrip::CellIdStrip(QWidget *parent) : QToolBar(tr("Cell ID"), parent)
{
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();
    m_msecs = [timer] { return timer->elapsed(); };

    setObjectName(QStringLiteral("cellIdStrip"));
    setAccessibleName(tr("Cell ID"));
    setMovable(false);
    setFloatable(false);
    toggleViewAction()->setVisible(false);
    auto *content = new QWidget(this);
    auto *rows = new QVBoxLayout(content);
    rows->setContentsMargins(4, 2, 4, 2);
    auto *row = new QHBoxLayout;
    auto *caption = new QLabel(tr("Cell &ID:"), content);
    m_field = new QLineEdit(content);
    m_field->setObjectName(QStringLiteral("cellIdField"));
    m_field->setMaxLength(256);
    m_field->setFixedWidth(220);
    m_field->setAccessibleName(tr("Cell ID"));
    m_field->setAccessibleDescription(tr("Scan or type the cell's ID; Enter takes it, Enter again counts the cell."));
    caption->setBuddy(m_field);
    m_kValue = new QLabel(content);
    m_kValue->setObjectName(QStringLiteral("kValueLabel"));
    m_kValue->setAccessibleDescription(tr("K-value of the cell on the probes"));
    row->addWidget(caption);
    row->addWidget(m_field);
    row->addSpacing(12);
    row->addWidget(m_kValue, 1);
    rows->addLayout(row);
    m_notice = new QLabel(content);
    m_notice->setObjectName(QStringLiteral("cellIdNotice"));
    m_notice->setAccessibleDescription(tr("Cell ID notice"));
    m_notice->setWordWrap(true);
    rows->addWidget(m_notice);

    // The question about a reading that does not look like its cell.
    m_questionRow = new QWidget(content);
    auto *questionLayout = new QHBoxLayout(m_questionRow);
    questionLayout->setContentsMargins(0, 0, 0, 0);
    m_question = new QLabel(m_questionRow);
    m_question->setObjectName(QStringLiteral("cellIdQuestion"));
    m_question->setAccessibleDescription(tr("Question about the reading"));
    m_question->setWordWrap(true);
    QPalette palette = m_question->palette();
    palette.setColor(QPalette::WindowText, warningColour());
    m_question->setPalette(palette);
    m_yes = new QPushButton(tr("&Yes, record it"), m_questionRow);
    m_yes->setObjectName(QStringLiteral("confirmCellButton"));
    m_yes->setAccessibleName(tr("Yes, record it"));
    m_no = new QPushButton(tr("&No, drop it"), m_questionRow);
    m_no->setObjectName(QStringLiteral("declineCellButton"));
    m_no->setAccessibleName(tr("No, drop it"));
    // Neither is pressed by an Enter meant for something else.
    for (QPushButton *button : {m_yes, m_no}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    questionLayout->addWidget(m_question, 1);
    questionLayout->addWidget(m_yes);
    questionLayout->addWidget(m_no);
    rows->addWidget(m_questionRow);
    m_questionRow->hide();
    connect(m_yes, &QPushButton::clicked, this, &CellIdStrip::confirmed);
    connect(m_no, &QPushButton::clicked, this, &CellIdStrip::declined);
    addWidget(content);

    m_field->installEventFilter(this);
    // What is typed binds nothing until it is ended: the K-value shown stays
    // that of the cell on the probes.
    connect(m_field, &QLineEdit::textEdited, this, [this] { m_edited = true; });
}

void CellIdStrip::setFraming(const QString &prefix, const QString &suffix)
{
    m_prefix = prefix;
    m_suffix = suffix;
}

QString CellIdStrip::enteredText() const
{
    return unframedScan(m_field->text(), m_prefix, m_suffix).value_or(m_field->text());
}

void CellIdStrip::showTaken(const QString &id)
{
    m_edited = false;
    m_field->setText(id);
    m_field->selectAll();
}

void CellIdStrip::selectText()
{
    m_edited = false;
    m_field->selectAll();
}

void CellIdStrip::clearField()
{
    m_edited = false;
    m_scan.reset();
    m_field->clear();
    setLabelText(m_kValue, QString());
}

void CellIdStrip::setLabelText(QLabel *label, const QString &text)
{
    if (label->text() == text)
        return;
    label->setText(text);
    label->setAccessibleName(text);
}

void CellIdStrip::showNotice(const QString &text, bool warning)
{
    const QWidget *window = parentWidget() ? parentWidget() : this;
    QPalette palette = m_notice->palette();
    palette.setColor(QPalette::WindowText, warning ? warningColour() : window->palette().color(QPalette::WindowText));
    m_notice->setPalette(palette);
    setLabelText(m_notice, text);
}

void CellIdStrip::showKValue(const QString &text)
{
    setLabelText(m_kValue, text);
}

void CellIdStrip::ask(const QString &question)
{
    setLabelText(m_question, question);
    m_questionRow->show();
    m_askedAt = m_msecs();
}

void CellIdStrip::clearQuestion()
{
    m_questionRow->hide();
    setLabelText(m_question, QString());
}

bool CellIdStrip::asking() const
{
    return !m_question->text().isEmpty();
}

bool CellIdStrip::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_field || event->type() != QEvent::KeyPress)
        return QToolBar::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    const qint64 now = m_msecs();
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    if (key->key() == Qt::Key_Escape && asking()) {
        Q_EMIT declined();
        return true;
    }
    if (enter || key->key() == Qt::Key_Tab) {
        const bool framed = (!m_prefix.isEmpty() || !m_suffix.isEmpty())
                         && unframedScan(m_field->text(), m_prefix, m_suffix);
        const bool scanned = m_scan.ends(now) || framed;
        if (!enter && !scanned)
            return false; // Tab typed by hand moves on as usual
        if (scanned || m_edited) {
            Q_EMIT entered();
        } else if (asking()) {
            if (!key->isAutoRepeat() && now - m_askedAt >= kConfirmGuardMs)
                Q_EMIT confirmed();
        } else {
            Q_EMIT countPressed();
        }
        return true;
    }
    if (!key->text().isEmpty() && key->text().front().isPrint())
        m_scan.key(now);
    return false;
}
