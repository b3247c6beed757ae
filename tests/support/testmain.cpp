#include "testmain.h"

#include "common/releasedwork.h"

#include <QApplication>
#include <QDeadlineTimer>
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
    const int failed = QTest::qExec(test.get(), argc, argv);
    test.reset();
    // Work the tested code left to finish on its threads ends before the
    // process does, as the program's main() lets it.
    ReleasedWork::finish(QDeadlineTimer(30000));
    return failed;
}
