#pragma once

#include <QDeadlineTimer>

class QThread;
class QThreadPool;

// Thread pools and threads whose owner has gone while a job of theirs still
// runs, typically a statement to a server that does not answer. Their owners
// have told them to stop; here they finish on their own and are freed then,
// so that closing a window never waits for them.
//
// Used on the thread of the program's event loop only.
class ReleasedWork
{
public:
    // Takes the pool: freed at once when idle, else once its jobs are done.
    static void adopt(QThreadPool *pool);
    // Takes a thread told to quit: freed once it has finished.
    static void adopt(QThread *thread);

    // Pools and threads taken that have not finished yet.
    static int running();

    // Frees what has finished and waits at most until `deadline` for the
    // rest; true when nothing is left running. For the program's end, once
    // its windows are gone: a job still waiting for a server past the
    // deadline is left to the end of the process, which loses nothing (the
    // journal keeps every cell the server has not confirmed).
    static bool finish(QDeadlineTimer deadline);
};
