// The program exactly as bin4870 runs it, with a remote control for tests that
// need a whole process: it prints "path <data file path>" once the window is
// shown and, given "--count N", presses START, then REC - COUNT N times, and
// prints "counted N" once the N-th cell has been counted. The session then
// goes on until the program is closed or signalled.

#include "app/mainwindow/formmain.h"
#include "app/mainwindow/formmainui.h"
#include "app/program/programmain.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

void say(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

// Prints the data file path, then presses START and REC - COUNT `cells` times.
void startRemoteControl(FormMain &window, int cells)
{
    say(QStringLiteral("path ") + window.ui().dataFilePath->text());
    if (cells <= 0)
        return;
    auto *remote = new QTimer(&window);
    auto presses = std::make_shared<int>(-1); // -1: START not pressed yet
    QObject::connect(remote, &QTimer::timeout, &window, [&window, remote, cells, presses] {
        const FormMainUi &ui = window.ui();
        if (*presses < 0) {
            ui.startButton->click();
            *presses = 0;
            return;
        }
        // START is disabled while the session runs; REC - COUNT while a
        // pressed count waits for its reading.
        if (ui.startButton->isEnabled() || !ui.recCountButton->isEnabled())
            return;
        if (*presses < cells) {
            ui.recCountButton->click();
            ++*presses;
            return;
        }
        say(QStringLiteral("counted %1").arg(cells));
        remote->stop();
    });
    remote->start(20);
}

} // namespace

int main(int argc, char **argv)
{
    int cells = 0;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--count") == 0)
            cells = std::atoi(argv[i + 1]);
    }
    QApplication app(argc, argv);
    Program program;
    startRemoteControl(program.window(), cells);
    return app.exec();
}
