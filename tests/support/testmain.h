#pragma once

#include <QObject>
#include <functional>

// Lets several test classes share one executable per subsystem.
// In a test source:   BIN4870_TEST(TestBinLimits)
namespace testsupport {
using Factory = std::function<QObject *()>;
bool registerTest(const char *name, Factory factory);
} // namespace testsupport

#define BIN4870_TEST(Class) \
    static const bool bin4870Registered_##Class = \
        testsupport::registerTest(#Class, [] { return static_cast<QObject *>(new Class); });
