// Runs a piece of a test in a child process whose files may not grow beyond a
// limit. Unlike permissions, the limit binds root too, so it makes a write fail
// part way in a container where nothing else would.
#pragma once

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

// Returns what Body returned in the child (for example an error message).
inline std::string RunUnderFileSizeLimit(rlim_t Limit, const std::function<std::string()>& Body) {
    int channel[2];
    if (pipe(channel) != 0)
        return "pipe failed";
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead of killing the child
        const struct rlimit limit = {Limit, Limit};
        setrlimit(RLIMIT_FSIZE, &limit);
        const std::string message = Body();
        (void)!write(channel[1], message.data(), message.size());
        _exit(0);
    }
    close(channel[1]);
    std::string message;
    char buffer[512];
    ssize_t n;
    while ((n = read(channel[0], buffer, sizeof buffer)) > 0)
        message.append(buffer, static_cast<size_t>(n));
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    return message;
}
