// The tools' output files. A regular output is written to a temporary file beside it and renamed
// into place only when it is complete, so a failed write (a full disk) or a failed job leaves no
// partial file and an earlier output of that name stays as it was. An output that is a device or
// a pipe (/dev/null, /dev/full, a FIFO) is written directly, as nothing can be renamed onto it.
// An output that is the input itself (the same file after links) is refused before anything is
// written.
#pragma once

#include <cstdio>
#include <string>

struct ToolOutput {
    FILE* file = nullptr;
    std::string path;  // where the finished output goes
    std::string temporary;  // the file written meanwhile; empty when written directly
};

// Opens the output for `path`; inputFd (-1: none) is the input it must not be. Returns false with
// *error set ("the output PATH is the input itself", "cannot create PATH: reason").
bool ToolOutputOpen(const std::string& path, int inputFd, ToolOutput* out, std::string* error);
// Flushes and closes the output's file and leaves it where it was written, for a commit or a
// discard later: a tool that writes several files places them all or none. False with *error set
// ("writing PATH failed: reason") when the write failed; the temporary file is then removed.
bool ToolOutputClose(ToolOutput* out, std::string* error);
// Flushes and closes the output (unless closed already) and moves it into place. False with *error set ("writing PATH
// failed: reason") when any of that fails; the temporary file is then removed.
bool ToolOutputCommit(ToolOutput* out, std::string* error);
// Closes the output and removes what was written of it.
void ToolOutputDiscard(ToolOutput* out);
