#include "testmain.h"

#include "bins/normality.h"

#include <QTest>

#include <cmath>
#include <limits>
#include <random>

using namespace spc;

namespace {

bool near(double a, double b, double tolerance)
{
    return std::fabs(a - b) <= tolerance;
}

} // namespace

class TestNormality : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Minitab's Graphical Summary example of the Anderson-Darling normality
    // test (precipitation data, N = 11): A-Squared 0.99, P-Value 0.008. The
    // eleven values are those its published summary allows (mean 3.6364,
    // StDev 2.3779, minimum 1, quartiles 2, 3 and 4, maximum 10, skewness
    // 2.11078, kurtosis 5.61936).
    void andersonDarlingOfThePublishedExample()
    {
        const std::optional<Normality> n = andersonDarling({10, 3, 2, 4, 3, 1, 5, 3, 2, 4, 3});
        QVERIFY(n);
        QCOMPARE(n->tested, qint64(11));
        QVERIFY2(near(n->a2, 0.99, 0.005), qPrintable(QString::number(n->a2)));
        QVERIFY2(near(n->p, 0.008, 0.0005), qPrintable(QString::number(n->p)));
        // The small-sample adjustment A2* = A2 (1 + 0.75/n + 2.25/n^2).
        QVERIFY(near(n->a2Adjusted, n->a2 * (1 + 0.75 / 11 + 2.25 / 121), 1e-12));
    }

    // The p-value formulas against the published upper-tail percentage points
    // of A2* for the normal with mean and variance estimated: 0.631, 0.752,
    // 0.873 and 1.035 at 10, 5, 2.5 and 1 % (D'Agostino and Stephens,
    // "Goodness-of-Fit Techniques", 1986, Table 4.7).
    void pValuesAtThePublishedPercentagePoints_data()
    {
        QTest::addColumn<double>("a2Adjusted");
        QTest::addColumn<double>("p");
        QTest::newRow("10 %") << 0.631 << 0.10;
        QTest::newRow("5 %") << 0.752 << 0.05;
        QTest::newRow("2.5 %") << 0.873 << 0.025;
        QTest::newRow("1 %") << 1.035 << 0.01;
    }
    void pValuesAtThePublishedPercentagePoints()
    {
        QFETCH(double, a2Adjusted);
        QFETCH(double, p);
        QVERIFY2(near(andersonDarlingP(a2Adjusted), p, p * 0.03), qPrintable(QString::number(andersonDarlingP(a2Adjusted))));
    }

    // The four formulas join where they meet, and the p-value only falls as
    // A2* grows, out to values no real data give.
    void pValuesFallSteadily()
    {
        double last = 1.0;
        for (double a = 0.0; a < 200; a += a < 2 ? 0.001 : 0.5) {
            const double p = andersonDarlingP(a);
            QVERIFY2(p >= 0 && p <= 1, qPrintable(QString::number(a)));
            QVERIFY2(p <= last + 0.005, qPrintable(QString::number(a))); // the formulas meet to within 0.003
            last = p;
        }
        QCOMPARE(andersonDarlingP(1000), 0.0);
    }

    // Too few values, no spread or a value that is not finite: no test, never
    // a number that looks like one.
    void noTestWhereItMeansNothing()
    {
        QVERIFY(!andersonDarling({1, 2, 3, 4, 5, 6, 7}));
        QVERIFY(andersonDarling({1, 2, 3, 4, 5, 6, 7, 8}));
        QVERIFY(!andersonDarling(std::vector<double>(50, 3.6)));
        QVERIFY(!andersonDarling({1, 2, 3, 4, 5, 6, 7, std::numeric_limits<double>::infinity()}));
        // A far outlier makes A2 huge and p 0, not NaN.
        std::vector<double> outlier(99, 1.0);
        for (std::size_t i = 0; i < outlier.size(); ++i)
            outlier[i] += double(i % 7) * 1e-3;
        outlier.push_back(1e12);
        const std::optional<Normality> n = andersonDarling(outlier);
        QVERIFY(n && std::isfinite(n->a2) && n->p < 1e-6);
    }

    // Normal data pass, clearly skewed data do not; on a sample as on the
    // whole.
    void normalAndSkewedData()
    {
        std::mt19937 random(11);
        std::normal_distribution<double> normal(34.0, 4.5);
        std::exponential_distribution<double> skewed(1.0);
        std::vector<double> a;
        std::vector<double> b;
        for (int i = 0; i < 2000; ++i) {
            a.push_back(normal(random));
            b.push_back(skewed(random));
        }
        QVERIFY(andersonDarling(a)->p > 0.01);
        QVERIFY(andersonDarling(b)->p < 0.0001);
    }

    // The reservoir keeps at most its size, every value has the same chance,
    // and the same values give the same sample.
    void aReservoirSampleIsUniformAndRepeatable()
    {
        ReservoirSample few(10);
        for (int i = 0; i < 5; ++i)
            few.add(i);
        QCOMPARE(few.values(), (std::vector<double>{0, 1, 2, 3, 4}));

        constexpr int kSize = 1000;
        constexpr int kValues = 100000;
        ReservoirSample sample(kSize);
        for (int i = 0; i < kValues; ++i)
            sample.add(i);
        QCOMPARE(sample.values().size(), std::size_t(kSize));
        QCOMPARE(sample.seen(), qint64(kValues));
        // Each tenth of the values holds about a tenth of the sample (binomial
        // sd about 9.5: 100 +/- 40 fails by chance once in 10^5).
        std::array<int, 10> tenths{};
        for (const double v : sample.values())
            ++tenths[std::size_t(v) / (kValues / 10)];
        for (const int count : tenths)
            QVERIFY2(count > 60 && count < 140, qPrintable(QString::number(count)));
        ReservoirSample again(kSize);
        for (int i = 0; i < kValues; ++i)
            again.add(i);
        QVERIFY(again.values() == sample.values());
    }
};

BIN4870_TEST(TestNormality)
#include "tst_normality.moc"
