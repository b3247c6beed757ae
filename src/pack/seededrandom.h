#pragma once

#include <cstdint>
#include <random>
#include <utility>
#include <vector>

// Random draws that come out the same with every standard library, so that a
// seed gives the same plan on every build: std::mt19937_64 is specified to the
// bit, while std::uniform_int_distribution and std::shuffle are not.
class SeededRandom
{
public:
    explicit SeededRandom(std::uint64_t seed) : m_engine(seed) {}

    // Uniform in [0, n); n must be above 0. Draws at or above 2^64 mod n are
    // kept, so that every result has the same number of draws behind it.
    std::uint64_t below(std::uint64_t n)
    {
        const std::uint64_t threshold = (0 - n) % n;
        for (;;) {
            const std::uint64_t x = m_engine();
            if (x >= threshold)
                return x % n;
        }
    }

    template <typename T>
    void shuffle(std::vector<T> &items)
    {
        for (std::size_t i = items.size(); i > 1; --i)
            std::swap(items[i - 1], items[below(i)]);
    }

private:
    std::mt19937_64 m_engine;
};
