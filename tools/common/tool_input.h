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
