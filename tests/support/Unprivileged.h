// Runs a check where file permissions hold. Root opens and lists anything,
// so as root the check runs in a child that has given up root for the
// unprivileged "nobody" user; the folders it uses must let others in.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace unprivileged {

// Check() returns what went wrong, empty when everything held. Returns that,
// or why the child could not run it.
template <class Check> std::string Run(Check&& Body) {
    if (geteuid() != 0)
        return Body();
    int Pipe[2];
    if (pipe(Pipe) != 0)
        return "no pipe";
    const pid_t Child = fork();
    if (Child < 0)
        return "no fork";
    if (Child == 0) {
        close(Pipe[0]);
        std::string Failure =
            setgid(65534) != 0 || setuid(65534) != 0 ? "could not drop root" : Body();
        for (std::size_t Done = 0; Done < Failure.size();) {
            const ssize_t Wrote = write(Pipe[1], Failure.data() + Done, Failure.size() - Done);
            if (Wrote <= 0)
                break;
            Done += static_cast<std::size_t>(Wrote);
        }
        _exit(0);
    }
    close(Pipe[1]);
    std::string Failure;
    char Chunk[512];
    for (ssize_t Got; (Got = read(Pipe[0], Chunk, sizeof Chunk)) > 0;)
        Failure.append(Chunk, static_cast<std::size_t>(Got));
    close(Pipe[0]);
    int Status = 0;
    if (waitpid(Child, &Status, 0) != Child || !WIFEXITED(Status) || WEXITSTATUS(Status) != 0)
        return "the unprivileged child did not finish: " + Failure;
    return Failure;
}

} // namespace unprivileged
