#pragma once

#include <QtGlobal>

#include <cstdint>
#include <optional>
#include <vector>

// Whether values may be taken as normally distributed, for the indices that
// assume it (Cpk, Ppk and their bounds).
namespace spc {

// The standard normal distribution function.
double normalCdf(double z);

// The Anderson-Darling test of normality with mean and standard deviation
// estimated from the values (D'Agostino and Stephens, "Goodness-of-Fit
// Techniques", 1986, section 4.8):
//   A2 = -n - (1/n) sum (2i - 1) [ln F(z(i)) + ln(1 - F(z(n+1-i)))],
//   z = (x - mean) / s, F the standard normal distribution function;
//   A2* = A2 (1 + 0.75/n + 2.25/n^2), the adjustment for small samples;
//   p from A2* by the four formulas of their Table 4.9.
struct Normality
{
    qint64 tested = 0; // the values the statistic was taken over
    double a2 = 0;
    double a2Adjusted = 0;
    double p = 0;
};

// The fewest values the test is given for.
constexpr qint64 kMinNormalityValues = 8;

// Empty with fewer than kMinNormalityValues values, a value that is not
// finite, or no spread (every value alike). The values need no order.
std::optional<Normality> andersonDarling(std::vector<double> values);

// The p-value of an adjusted statistic A2*; 0 for an A2* so large that the
// formula no longer falls (beyond about 150).
double andersonDarlingP(double a2Adjusted);

// A uniform random sample of at most `size` of the values added (Vitter's
// algorithm R), for a test that needs the values themselves when there may be
// millions. The generator is seeded alike every time, so that the same cells
// give the same sample and the same report.
class ReservoirSample
{
public:
    explicit ReservoirSample(std::size_t size);

    void add(double value);
    const std::vector<double> &values() const { return m_values; }
    // Every value added, taken into the sample or not.
    qint64 seen() const { return m_seen; }

private:
    std::uint64_t next();

    std::size_t m_size;
    std::vector<double> m_values;
    qint64 m_seen = 0;
    std::uint64_t m_state = 0x9E3779B97F4A7C15ull;
};

} // namespace spc
