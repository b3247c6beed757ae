#pragma once

#include <QObject>
#include <functional>

// Names the test class of an executable, which holds exactly one; the shared
// main runs it with the command line, so that a test function can be run by
// name.   In a test source:   BIN4870_TEST(TestBinLimits)
namespace testsupport {
using Factory = std::function<QObject *()>;
bool registerTest(const char *name, Factory factory);
} // namespace testsupport

#define BIN4870_TEST(Class) \
    static const bool bin4870Registered_##Class = \
        testsupport::registerTest(#Class, [] { return static_cast<QObject *>(new Class); });
