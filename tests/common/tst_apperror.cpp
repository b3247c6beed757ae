#include "testmain.h"

#include "common/apperror.h"

#include <QTest>

class TestAppError : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void carriesKindAndDescriptionToTheTrap()
    {
        try {
            throw AppError(ErrorKind::PortNotOpen, QStringLiteral("Port not open: /dev/ttyS0"));
        } catch (const std::exception &e) {
            const auto *error = dynamic_cast<const AppError *>(&e);
            QVERIFY(error);
            QCOMPARE(error->kind(), ErrorKind::PortNotOpen);
            // The number a message quotes for the kind.
            QCOMPARE(error->number(), 8018);
            QCOMPARE(error->description(), QStringLiteral("Port not open: /dev/ttyS0"));
            QCOMPARE(QByteArray(e.what()), QByteArray("Port not open: /dev/ttyS0"));
        }
    }
};

BIN4870_TEST(TestAppError)
#include "tst_apperror.moc"
