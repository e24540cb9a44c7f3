#pragma once
// Starts a program with its arguments as raw bytes (QProcess converts them as
// text, which loses names that are not UTF-8), its standard output and error on
// descriptors the test chose. Header-only; for tests.

#include <QByteArray>

#include <spawn.h>
#include <unistd.h>

#include <initializer_list>
#include <vector>

extern char **environ;

namespace fgtest {

// Starts argv[0] with `argv`; `outFd` / `errFd` (when >= 0) become its standard
// output and error; the descriptors in `closeInChild` are closed in it. Returns
// the process id, or -1.
inline pid_t spawnBytes(std::vector<QByteArray> argv, int outFd, int errFd,
                        std::initializer_list<int> closeInChild)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (outFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
    if (errFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, errFd, STDERR_FILENO);
    for (int fd : closeInChild)
        posix_spawn_file_actions_addclose(&actions, fd);
    std::vector<char *> raw;
    for (QByteArray &b : argv)
        raw.push_back(b.data());
    raw.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, raw[0], &actions, nullptr, raw.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return spawned == 0 ? pid : -1;
}

} // namespace fgtest
