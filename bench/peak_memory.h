// The peak resident memory of a program run under /usr/bin/time, for the memory races.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

// Runs the command with its output discarded; its peak resident memory in KiB, or -1 when it could
// not be run or did not exit with 0.
inline long PeakMemoryKib(const std::vector<std::string>& command, const std::string& timeFile)
{
    std::vector<std::string> full = {"/usr/bin/time", "-f", "%M", "-o", timeFile};
    full.insert(full.end(), command.begin(), command.end());
    std::vector<char*> argv;
    for (auto& a : full) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    long kib = -1;
    std::ifstream(timeFile) >> kib;
    return kib;
}
