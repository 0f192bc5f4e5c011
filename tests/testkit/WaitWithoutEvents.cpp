#include "tests/testkit/WaitWithoutEvents.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <sys/syscall.h>
#include <unistd.h>

bool otherThreadsWaitWithoutTimeOut()
{
    const std::string self = std::to_string(::gettid());
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        if (task.path().filename() == self) continue;
        // The system call a blocked thread is in and its arguments; a futex's fourth is its time-out.
        std::ifstream call(task.path() / "syscall");
        std::string number, address, operation, value, timeOut;
        if (!(call >> number >> address >> operation >> value >> timeOut) || number != std::to_string(SYS_futex)
            || timeOut != "0x0")
            return false;
    }
    return true;
}
