#include "testmain.h"

#include "app/mainwindow/cachedgroupbox.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <memory>

// A group box painting from its picture must look exactly like a plain one, on
// the screen, also after whatever changes what a box looks like. Two boxes side
// by side in one window, each with a label without a background inside: a
// label repainted makes each box paint the part beneath it, one from its
// picture, the other as every group box does.
class TestCachedGroupBox : public QObject
{
    Q_OBJECT

public:
    enum class Change { None, Disabled, Title, WindowColour, Font, Resized, OwnColour };
    Q_ENUM(Change)

private:
    std::unique_ptr<QWidget> m_window;
    CachedGroupBox *m_cached = nullptr;
    QGroupBox *m_plain = nullptr;
    QLabel *m_cachedLabel = nullptr;
    QLabel *m_plainLabel = nullptr;

    static QLabel *addLabel(QGroupBox *box)
    {
        auto *label = new QLabel(QStringLiteral("12.345mOhm"), box);
        label->setGeometry(20, 30, 140, 30);
        return label;
    }

    void place(const QSize &size)
    {
        m_cached->setGeometry(10, 10, size.width(), size.height());
        m_plain->setGeometry(20 + size.width(), 10, size.width(), size.height());
    }

    void apply(Change change)
    {
        for (QGroupBox *box : {static_cast<QGroupBox *>(m_cached), m_plain}) {
            switch (change) {
            case Change::None:
                break;
            case Change::Disabled:
                box->setEnabled(false);
                break;
            case Change::Title:
                box->setTitle(QStringLiteral("Another, longer title of the box"));
                break;
            case Change::Font: {
                QFont font = box->font();
                font.setPixelSize(22);
                box->setFont(font);
                break;
            }
            case Change::OwnColour: {
                QPalette palette = box->palette();
                palette.setColor(QPalette::Window, QColor(0x80, 0xC0, 0xFF));
                box->setPalette(palette);
                break;
            }
            case Change::WindowColour:
            case Change::Resized:
                break;
            }
        }
        if (change == Change::WindowColour) {
            QPalette palette = m_window->palette();
            palette.setColor(QPalette::Window, QColor(0xFF, 0xE0, 0xA0));
            m_window->setPalette(palette);
        }
        if (change == Change::Resized)
            place(QSize(260, 150));
    }

    // What the screen shows of each box.
    std::pair<QImage, QImage> shown() const
    {
        const QImage screen = m_window->windowHandle()->screen()->grabWindow(m_window->winId()).toImage();
        const qreal ratio = screen.devicePixelRatio();
        const auto part = [&](const QWidget *box) {
            const QRect area = box->geometry();
            return screen.copy(QRect(area.topLeft() * ratio, area.size() * ratio));
        };
        return {part(m_cached), part(m_plain)};
    }

private Q_SLOTS:
    void init()
    {
        m_window = std::make_unique<QWidget>();
        m_window->resize(560, 180);
        m_cached = new CachedGroupBox(QStringLiteral("BIN Result - Measurement Value"), m_window.get());
        m_plain = new QGroupBox(QStringLiteral("BIN Result - Measurement Value"), m_window.get());
        place(QSize(200, 120));
        m_cachedLabel = addLabel(m_cached);
        m_plainLabel = addLabel(m_plain);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void cleanup() { m_window.reset(); }

    void paintsBeneathAChangedLabelAsAPlainBox_data()
    {
        QTest::addColumn<Change>("change");
        QTest::addColumn<bool>("fromPicture");
        QTest::newRow("as shown first") << Change::None << true;
        QTest::newRow("disabled") << Change::Disabled << true;
        QTest::newRow("new title") << Change::Title << true;
        QTest::newRow("window colour") << Change::WindowColour << true;
        QTest::newRow("bigger font") << Change::Font << true;
        QTest::newRow("resized") << Change::Resized << true;
        // The picture is taken on the box's own colour, which the window's
        // background does not show here: the box paints itself.
        QTest::newRow("own colour") << Change::OwnColour << false;
    }

    void paintsBeneathAChangedLabelAsAPlainBox()
    {
        QFETCH(Change, change);
        QFETCH(bool, fromPicture);
        QTRY_VERIFY(m_cached->hasPicture());

        apply(change);
        m_window->repaint();
        // A picture is taken by a zero timer after a paint that found none fit.
        bool settled = false;
        QTimer::singleShot(0, m_window.get(), [&settled] { settled = true; });
        QTRY_VERIFY(settled);
        QCOMPARE(m_cached->hasPicture(), fromPicture);
        const auto [cachedBefore, plainBefore] = shown();
        QCOMPARE(cachedBefore, plainBefore);

        for (QLabel *label : {m_cachedLabel, m_plainLabel}) {
            label->setText(QStringLiteral("3.7000V"));
            label->repaint();
        }
        const auto [cached, plain] = shown();
        QCOMPARE(cached, plain);
        // The label's new text is on the screen, not the old picture over it.
        QVERIFY(cached != cachedBefore);
    }
};

BIN4870_TEST(TestCachedGroupBox)
#include "tst_cachedgroupbox.moc"
