// The tools' input files. Only a regular file or a pipe is read: a directory cannot be read, and
// a device such as /dev/zero never ends. Every failure is told as "cannot read PATH: reason".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Opens `path` ("-": standard input) for reading. Returns the descriptor, or -1 with *error set.
// *regular says whether it can be read at any offset; *size is then its size.
int ToolInputOpen(const std::string& path, bool* regular, uint64_t* size, std::string* error);

// Reads the whole input, refusing one of more than `limit` bytes.
bool ToolInputRead(const std::string& path, uint64_t limit, std::vector<uint8_t>* bytes, std::string* error);

// Makes an input that ToolInputOpen gave readable from its start again and again: a pipe's bytes
// are copied to an unlinked file under $TMPDIR (or /tmp), which then stands in for it, so that a
// tool reads any input in pieces whatever its size. A regular file is kept as it is. *fd is
// replaced (the pipe closed) and positioned at 0; *size is its length. False with *error set (more
// than `limit` bytes, no temporary file, a failed read) and *fd closed.
bool ToolInputSeekable(const std::string& path, uint64_t limit, int* fd, uint64_t* size, std::string* error);
