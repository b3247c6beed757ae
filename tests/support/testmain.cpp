#include "testmain.h"

#include <QApplication>
#include <QTest>

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
    int failed = 0;
    for (const auto &[name, factory] : testsupport::registry()) {
        std::unique_ptr<QObject> test(factory());
        failed += QTest::qExec(test.get(), argc, argv);
    }
    return failed == 0 ? 0 : 1;
}
