#include "testmain.h"

#include <QApplication>
#include <QTest>

#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

namespace testsupport {

namespace {
std::vector<std::pair<const char *, Factory>> &registry()
{
    static std::vector<std::pair<const char *, Factory>> tests;
    return tests;
}
} // namespace

bool registerTest(const char *name, Factory factory)
{
    registry().emplace_back(name, std::move(factory));
    return true;
}

} // namespace testsupport

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const auto &tests = testsupport::registry();
    // The command line names functions of one class; two classes would each
    // refuse the other's.
    if (tests.size() != 1) {
        std::fprintf(stderr, "%zu test classes in one executable; it must hold exactly one\n", tests.size());
        return 2;
    }
    std::unique_ptr<QObject> test(tests.front().second());
    return QTest::qExec(test.get(), argc, argv);
}
