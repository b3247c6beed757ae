#include "testmain.h"

#include "bins/bintables.h"
#include "app/mainwindow/counterwindow.h"

#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>

class TestCounterWindow : public QObject
{
    Q_OBJECT

private:
    BinTables m_tables;
    QPointer<CounterWindow> m_window;

    void open()
    {
        m_window = new CounterWindow(m_tables);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.data()));
    }

    QString caption(int index) const
    {
        return m_window->findChild<QLabel *>(QStringLiteral("Label1_%1").arg(index))->text();
    }

    QString value(int index) const
    {
        return m_window->findChild<QLabel *>(QStringLiteral("Label2_%1").arg(index))->text();
    }

    // The open RESET question, if any.
    QMessageBox *resetQuestion() const
    {
        for (QMessageBox *box : m_window->findChildren<QMessageBox *>()) {
            if (box->isVisible())
                return box;
        }
        return nullptr;
    }

    QPushButton *button(const char *name) const { return m_window->findChild<QPushButton *>(QLatin1String(name)); }

    void countSomeCells()
    {
        BinTable r;
        r.binCount[0] = 1;
        r.binCount[2] = 17;
        r.binCount[8] = 32767;
        r.binCount[9] = 4;
        r.totalCount = 30000;
        BinTable v;
        v.binCount[0] = 5;
        v.binCount[4] = 12;
        v.binCount[9] = 2;
        v.totalCount = 19;
        m_tables.setTables(r, v);
    }

private Q_SLOTS:
    void init()
    {
        m_tables.setTables(BinTable{}, BinTable{});
    }

    void cleanup() { delete m_window.data(); }

    void rowsAreCaptionedPerTable_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("frame");
        QTest::newRow("resistance BIN 1") << 0 << "BIN  1" << "RESISTANCE BIN NUM";
        QTest::newRow("resistance BIN 9") << 8 << "BIN  9" << "RESISTANCE BIN NUM";
        QTest::newRow("resistance OUT") << 9 << "OUT" << "RESISTANCE BIN NUM";
        QTest::newRow("resistance TOTAL") << 10 << "TOTAL" << "RESISTANCE BIN NUM";
        QTest::newRow("voltage BIN 1") << 11 << "BIN  1" << "VOLTAGE BIN NUM";
        QTest::newRow("voltage BIN 5") << 15 << "BIN  5" << "VOLTAGE BIN NUM";
        QTest::newRow("voltage BIN 9") << 19 << "BIN  9" << "VOLTAGE BIN NUM";
        QTest::newRow("voltage OUT") << 20 << "OUT" << "VOLTAGE BIN NUM";
        QTest::newRow("voltage TOTAL") << 21 << "TOTAL" << "VOLTAGE BIN NUM";
    }

    void rowsAreCaptionedPerTable()
    {
        QFETCH(int, index);
        QFETCH(QString, caption);
        QFETCH(QString, frame);
        open();
        QCOMPARE(this->caption(index), caption);
        const auto *captionLabel = m_window->findChild<QLabel *>(QStringLiteral("Label1_%1").arg(index));
        const auto *valueLabel = m_window->findChild<QLabel *>(QStringLiteral("Label2_%1").arg(index));
        const auto *group = qobject_cast<QGroupBox *>(captionLabel->parentWidget());
        QVERIFY(group);
        QCOMPARE(group->title(), frame);
        QCOMPARE(valueLabel->parentWidget(), group);
        QCOMPARE(valueLabel->y(), captionLabel->y());
        QVERIFY(valueLabel->x() > captionLabel->geometry().right());
        QCOMPARE(captionLabel->font().families().first(), QStringLiteral("Arial"));
    }

    void freshTablesShowZeroEverywhere()
    {
        open();
        QCOMPARE(m_window->windowTitle(), QStringLiteral("BIN COUNTER"));
        for (int i = 0; i < 22; ++i)
            QCOMPARE(value(i), QStringLiteral("0"));
    }

    void valuesComeFromTheirTableAndRow()
    {
        countSomeCells();
        open();
        const QStringList expected = {
            "1", "0", "17", "0", "0", "0", "0", "0", "32767", "4", "30000", // resistance
            "5", "0", "0",  "0", "12", "0", "0", "0", "0",    "2", "19",    // voltage
        };
        for (int i = 0; i < 22; ++i)
            QCOMPARE(value(i), expected[i]);
    }

    void countsFollowTheTablesWhileOpen()
    {
        open();
        BinTable r = m_tables.resistance();
        r.binCount[3] = 8;
        r.totalCount = 8;
        m_tables.setTable(0, r);
        QCOMPARE(value(3), QStringLiteral("8"));
        QCOMPARE(value(10), QStringLiteral("8"));
        QCOMPARE(value(21), QStringLiteral("0"));
    }

    void resetClearsBothTablesThenShowsThem()
    {
        countSomeCells();
        open();
        QCOMPARE(value(2), QStringLiteral("17"));
        QTest::mouseClick(button("Command2"), Qt::LeftButton);
        QMessageBox *question = resetQuestion();
        QVERIFY(question);
        QCOMPARE(m_tables.resistance().binCount[2], qint16(17));
        question->button(QMessageBox::Yes)->click();
        QCOMPARE(m_tables.resistance().totalCount, qint16(0));
        QCOMPARE(m_tables.voltage().binCount[9], qint16(0));
        for (int i = 0; i < 22; ++i)
            QCOMPARE(value(i), QStringLiteral("0"));
        for (int i = 0; i < 9; ++i)
            QCOMPARE(caption(i), QStringLiteral("BIN  %1").arg(i + 1));
        QVERIFY(m_window->isVisible());

        // Counting restarts from zero.
        BinTable r = m_tables.resistance();
        r.binCount[0] = 1;
        r.totalCount = 1;
        m_tables.setTable(0, r);
        QCOMPARE(value(0), QStringLiteral("1"));
        QCOMPARE(value(10), QStringLiteral("1"));
    }

    void resetAsksFirstAndEnterKeepsTheCounts()
    {
        countSomeCells();
        open();
        button("Command2")->setFocus();
        QTest::keyClick(button("Command2"), Qt::Key_Space);
        QMessageBox *question = resetQuestion();
        QVERIFY(question);
        QCOMPARE(question->text(), QStringLiteral("Clear all BIN counters?"));
        QCOMPARE(question->defaultButton(), question->button(QMessageBox::No));
        QCOMPARE(question->windowModality(), Qt::WindowModal);
        // The operator's Enter after an accidental Tab answers No.
        QTest::keyClick(question, Qt::Key_Return);
        QTRY_VERIFY(!resetQuestion());
        QCOMPARE(m_tables.resistance().binCount[2], qint16(17));
        QCOMPARE(value(2), QStringLiteral("17"));
    }

    void closeRemovesTheWindow()
    {
        countSomeCells();
        open();
        QPushButton *close = button("Command1");
        QCOMPARE(close->text(), QStringLiteral("CLOSE"));
        QCOMPARE(button("Command2")->text(), QStringLiteral("RESET"));
        QVERIFY(close->x() < button("Command2")->x());
        QTest::mouseClick(close, Qt::LeftButton);
        QVERIFY(!m_window->isVisible());
        QTRY_VERIFY(m_window.isNull());
        QCOMPARE(m_tables.resistance().totalCount, qint16(30000));
    }

    void controlsStayInsideTheirFrames()
    {
        open();
        for (const QLabel *label : m_window->findChildren<QLabel *>()) {
            const QWidget *parent = label->parentWidget();
            QVERIFY2(QRect(QPoint(0, 0), parent->size()).contains(label->geometry()), qPrintable(label->objectName()));
            QVERIFY2(QFontMetrics(label->font()).horizontalAdvance(QStringLiteral("TOTAL"))
                         <= label->contentsRect().width(),
                     qPrintable(label->objectName()));
        }
        for (const QWidget *widget : m_window->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            QVERIFY2(m_window->rect().contains(widget->geometry()), qPrintable(widget->objectName()));
    }
};

BIN4870_TEST(TestCounterWindow)
#include "tst_counterwindow.moc"
