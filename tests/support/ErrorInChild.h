#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "support/ErrorOf.h"

namespace zvtest {

// Runs prepare and then action in a child process, so that what prepare changes there (another
// user, a file size limit) does not reach the tests. Returns what prepare returned when that is
// not empty (it could not prepare), else the message of the zv::Error that action raised, or
// "(no error)".
inline std::string errorInChild(const std::function<std::string()> &prepare,
                                const std::function<void()> &action) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return "(pipe failed)";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        std::string message = prepare();
        if (message.empty())
            message = errorOf(action);
        (void)!::write(pipeFds[1], message.data(), message.size());
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string message;
    char buffer[512];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        message.append(buffer, static_cast<size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return "(the child did not end)";
    return message;
}

}  // namespace zvtest
