#include "testmain.h"

#include "everywindow.h"
#include "formmainharness.h"

#include "session/measurementsession.h"

#include <QAbstractButton>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QRegularExpression>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// The operator's guide names only what the windows have: every menu path
// ("Settings > Cell IDs...") leads through items that exist, and every
// caption it quotes ("Save Measurement Data in File") is a caption of a
// window, or the start of a text the status line shows.

namespace {

// A caption as the operator reads it: no mnemonic "&", no trailing ":",
// blanks and line breaks run together.
QString readable(QString caption)
{
    caption.replace(QRegularExpression(QStringLiteral("&(.)")), QStringLiteral("\\1"));
    caption = caption.simplified();
    while (caption.endsWith(QLatin1Char(':')))
        caption.chop(1);
    return caption.trimmed();
}

// Every caption `window` shows: its title, buttons, check boxes, options,
// labels, group boxes and tabs.
QStringList captionsOf(QWidget *window)
{
    QStringList captions{readable(window->windowTitle())};
    for (QWidget *widget : window->findChildren<QWidget *>()) {
        if (widget->window() != window)
            continue;
        if (const auto *button = qobject_cast<QAbstractButton *>(widget))
            captions << readable(button->text());
        else if (const auto *label = qobject_cast<QLabel *>(widget))
            captions << readable(label->text());
        else if (const auto *group = qobject_cast<QGroupBox *>(widget))
            captions << readable(group->title());
        else if (const auto *tabs = qobject_cast<QTabBar *>(widget)) {
            for (int i = 0; i < tabs->count(); ++i)
                captions << readable(tabs->tabText(i));
        }
    }
    captions.removeAll(QString());
    return captions;
}

// The guide as one line per paragraph-free run: line breaks are blanks.
QString guideText()
{
    QFile file(QStringLiteral(BIN4870_SOURCE_DIR "/docs/readmeE.txt"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    return QString::fromUtf8(file.readAll());
}

// Menu paths the guide names whose items the menus do not have, as
// "Settings > Nosuch...".
QStringList missingMenuItems(const QString &guide, FormMain &window)
{
    QStringList missing;
    const QString flat = guide.simplified();
    static const QRegularExpression start(QStringLiteral("\\b(File|Settings|Help) > "));
    for (auto it = start.globalMatch(flat); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        QMenu *menu = nullptr;
        for (QAction *top : window.menuBar()->actions()) {
            if (top->menu() && readable(top->text()) == match.captured(1))
                menu = top->menu();
        }
        QString path = match.captured(1);
        qsizetype at = match.capturedEnd();
        while (menu) {
            if (flat.mid(at, 1) == QLatin1String("\""))
                ++at;
            // The longest item the text goes on with.
            QAction *item = nullptr;
            QString caption;
            for (QAction *action : menu->actions()) {
                const QString text = readable(action->text());
                if (!action->isSeparator() && !text.isEmpty() && flat.mid(at).startsWith(text)
                    && text.size() > caption.size()) {
                    item = action;
                    caption = text;
                }
            }
            if (!item) {
                missing << QStringLiteral("%1 > %2").arg(path, flat.mid(at, 30));
                break;
            }
            path += QStringLiteral(" > ") + caption;
            at += caption.size();
            if (flat.mid(at, 1) == QLatin1String("\""))
                ++at;
            if (!item->menu() || flat.mid(at, 3) != QLatin1String(" > "))
                break;
            menu = item->menu();
            at += 3;
        }
    }
    return missing;
}

// The quoted texts of the guide that read as captions: a capital first, then
// letters, digits, blanks, "-", "+" and "%", perhaps "..." at the end, and a
// small letter or a blank among them (not a tester's word such as "OF").
// Section 11 quotes the tester's protocol and is left out.
QStringList quotedCaptions(const QString &guide)
{
    const qsizetype profiles = guide.indexOf(QLatin1String("\n11. Tester profiles"));
    const qsizetype cellIds = guide.indexOf(QLatin1String("\n12. Cell IDs"));
    const QString checked = guide.left(profiles) + guide.mid(cellIds);
    static const QRegularExpression quote(QStringLiteral("\"([^\"]+)\""));
    static const QRegularExpression captionLike(QStringLiteral("^[A-Z][A-Za-z0-9 %+\\-]*(\\.\\.\\.)?$"));
    static const QRegularExpression small(QStringLiteral("[a-z ]"));
    QStringList captions;
    for (auto it = quote.globalMatch(checked); it.hasNext();) {
        const QString text = it.next().captured(1).simplified();
        if (captionLike.match(text).hasMatch() && text.contains(small))
            captions << text;
    }
    captions.removeDuplicates();
    return captions;
}

// Whether `quoted` is a caption, or the start of one at a word's end
// ("Write cell IDs to the data file" of "Write cell IDs to the data file (a
// fifth field)").
bool named(const QString &quoted, const QStringList &captions)
{
    for (const QString &caption : captions) {
        if (caption == quoted)
            return true;
        if (caption.startsWith(quoted) && !caption.at(quoted.size()).isLetterOrNumber())
            return true;
    }
    return false;
}

} // namespace

class TestGuide : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private Q_SLOTS:
    void theGuideNamesOnlyMenuItemsAndCaptionsThatExist()
    {
        const QString guide = guideText();
        QVERIFY(guide.size() > 10000);
        QVERIFY(m_dir.isValid());
        QFile copy(m_dir.filePath(QStringLiteral("readmeE.txt")));
        QVERIFY(copy.open(QIODevice::WriteOnly));
        copy.write(guide.toUtf8());
        copy.close();
        FormMainHarness h(m_dir.path());
        CellIdOptions options;
        options.enabled = true;
        h.window->cellIds().setOptions(options);
        h.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(h.window.get()));

        const QStringList missingItems = missingMenuItems(guide, *h.window);
        QVERIFY2(missingItems.isEmpty(), qPrintable(missingItems.join(QLatin1Char('\n'))));

        QStringList captions = captionsOf(h.window.get());
        for (QMenu *menu : everywindow::menus(*h.window)) {
            captions << readable(menu->title());
            for (const QAction *action : menu->actions())
                captions << readable(action->text());
        }
        QVERIFY(everywindow::visitDialogs(*h.window, [&captions](QWidget *window, const QString &) {
            captions << captionsOf(window);
        }));
        // What the status line says, which the guide quotes as the operator reads it.
        captions << MeasurementSession::stoppedText() << MeasurementSession::noAnswerText()
                 << MeasurementSession::badReplyText() << MeasurementSession::skippedText()
                 << MeasurementSession::counterFullText() << MeasurementSession::waitingForIdText();

        const QStringList quoted = quotedCaptions(guide);
        QVERIFY2(quoted.size() >= 15, qPrintable(quoted.join(QLatin1String(", "))));
        QStringList unknown;
        for (const QString &text : quoted) {
            if (!named(text, captions))
                unknown << text;
        }
        QVERIFY2(unknown.isEmpty(), qPrintable(QStringLiteral("quoted in the guide, shown nowhere: \"%1\"")
                                                    .arg(unknown.join(QLatin1String("\", \"")))));
    }
};

BIN4870_TEST(TestGuide)
#include "tst_guide.moc"
