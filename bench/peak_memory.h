// Whole programs run for the races, with their peak resident memory read from wait4.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

// Runs a program (looked up on PATH) with its output discarded; false unless it exits with 0.
// *peakKib becomes the larger of itself and the program's peak resident memory in KiB.
inline bool RunProcess(const std::vector<std::string>& command, long* peakKib)
{
    std::vector<std::string> copy = command;
    std::vector<char*> argv;
    for (auto& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return false;
    *peakKib = std::max(*peakKib, usage.ru_maxrss);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The program's peak resident memory in KiB, or -1 when it could not be run or did not exit with 0.
inline long PeakMemoryKib(const std::vector<std::string>& command)
{
    long kib = 0;
    return RunProcess(command, &kib) ? kib : -1;
}
