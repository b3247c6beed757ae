#include "testmain.h"

#include "app/style/singlewindow.h"

#include <QDialog>
#include <QPointer>
#include <QTest>
#include <QWidget>

class TestSingleWindow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // A window-modal dialog is opened with open(), a second call brings the
    // same one forward, and one deleted on close is made afresh.
    void aDialogIsOpenedOnceAndMadeAgainAfterItClosed()
    {
        QWidget owner;
        owner.show();
        QPointer<QDialog> kept;
        int made = 0;
        auto make = [&] {
            ++made;
            auto *dialog = new QDialog(&owner);
            dialog->setAttribute(Qt::WA_DeleteOnClose);
            dialog->setWindowModality(Qt::WindowModal);
            return dialog;
        };
        QDialog *first = openOnce(kept, make);
        QVERIFY(first->isVisible());
        QCOMPARE(first->windowModality(), Qt::WindowModal);
        QCOMPARE(openOnce(kept, make), first);
        QCOMPARE(made, 1);

        first->close();
        QTRY_VERIFY(kept.isNull());
        QDialog *second = openOnce(kept, make);
        QCOMPARE(made, 2);
        QVERIFY(second->isVisible());
        second->close();
    }

    // A window kept hidden when closed is shown again rather than made twice.
    void aHiddenWindowIsShownAgain()
    {
        QWidget owner;
        QPointer<QWidget> kept;
        int made = 0;
        auto make = [&] {
            ++made;
            auto *window = new QWidget(&owner, Qt::Window);
            return window;
        };
        QWidget *window = openOnce(kept, make);
        QVERIFY(window->isVisible());
        window->close();
        QVERIFY(window->isHidden());
        QCOMPARE(openOnce(kept, make), window);
        QVERIFY(window->isVisible());
        QCOMPARE(made, 1);
    }
};

BIN4870_TEST(TestSingleWindow)
#include "tst_singlewindow.moc"
