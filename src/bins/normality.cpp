#include "bins/normality.h"

#include <algorithm>
#include <cmath>

namespace spc {

double normalCdf(double z)
{
    return 0.5 * std::erfc(-z / std::sqrt(2.0));
}

double andersonDarlingP(double a)
{
    if (a < 0.2)
        return 1.0 - std::exp(-13.436 + 101.14 * a - 223.73 * a * a);
    if (a < 0.34)
        return 1.0 - std::exp(-8.318 + 42.796 * a - 59.938 * a * a);
    if (a < 0.6)
        return std::exp(0.9177 - 4.279 * a - 1.38 * a * a);
    // The last formula has its lowest point at 5.709 / (2 x 0.0186) and rises
    // beyond it; long before that the p-value is 0 to any precision shown.
    if (a > 150)
        return 0.0;
    return std::exp(1.2937 - 5.709 * a + 0.0186 * a * a);
}

std::optional<Normality> andersonDarling(std::vector<double> values)
{
    const auto n = qint64(values.size());
    if (n < kMinNormalityValues)
        return std::nullopt;
    double mean = 0;
    for (const double v : values) {
        if (!std::isfinite(v))
            return std::nullopt;
        mean += v;
    }
    mean /= double(n);
    double squares = 0;
    for (const double v : values)
        squares += (v - mean) * (v - mean);
    std::sort(values.begin(), values.end());
    // Every value alike: the mean's rounding would pass for a spread.
    if (values.front() == values.back())
        return std::nullopt;
    const double s = std::sqrt(squares / double(n - 1));
    // Beyond 37 standard deviations F rounds to 0 or 1 and its logarithm to
    // minus infinity; such a value already puts A2 far beyond any table.
    const auto z = [&](double v) { return std::clamp((v - mean) / s, -37.0, 37.0); };
    double sum = 0;
    for (qint64 i = 0; i < n; ++i) {
        const double low = normalCdf(z(values[std::size_t(i)]));
        const double high = normalCdf(-z(values[std::size_t(n - 1 - i)])); // 1 - F, without the rounding
        sum += double(2 * i + 1) * (std::log(low) + std::log(high));
    }
    Normality result;
    result.tested = n;
    result.a2 = -double(n) - sum / double(n);
    result.a2Adjusted = result.a2 * (1.0 + 0.75 / double(n) + 2.25 / (double(n) * double(n)));
    result.p = andersonDarlingP(result.a2Adjusted);
    return result;
}

ReservoirSample::ReservoirSample(std::size_t size) : m_size(size)
{
    m_values.reserve(size);
}

std::uint64_t ReservoirSample::next()
{
    // splitmix64: the same numbers on every platform.
    std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

void ReservoirSample::add(double value)
{
    ++m_seen;
    if (m_values.size() < m_size) {
        m_values.push_back(value);
        return;
    }
    // A place from 0 to seen - 1; the sample keeps the value when it falls
    // among its own places.
    const auto place = static_cast<std::uint64_t>(
            (static_cast<unsigned __int128>(next()) * static_cast<unsigned __int128>(m_seen)) >> 64);
    if (place < m_size)
        m_values[std::size_t(place)] = value;
}

} // namespace spc
