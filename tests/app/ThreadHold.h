#pragma once

// Holds one thread of a child process while the others run on, as a busy machine does
// when it keeps the window thread from running while the sound threads go on: a ptrace
// interrupt stops that one thread, where a SIGSTOP would stop them all.

#include <sys/ptrace.h>
#include <sys/types.h>
#include <sys/wait.h>

#include <chrono>
#include <thread>

namespace orvik::soundtest {

// The main thread's id is the process id. False when the thread could not be held.
inline bool holdThread(pid_t thread, std::chrono::milliseconds howLong)
{
    if (ptrace(PTRACE_SEIZE, thread, nullptr, nullptr) != 0)
        return false;
    bool held = ptrace(PTRACE_INTERRUPT, thread, nullptr, nullptr) == 0;
    int status = 0;
    held = held && waitpid(thread, &status, __WALL) == thread;
    std::this_thread::sleep_for(howLong);
    ptrace(PTRACE_DETACH, thread, nullptr, nullptr);
    return held;
}

} // namespace orvik::soundtest
