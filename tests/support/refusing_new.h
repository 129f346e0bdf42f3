// Global operator new and delete that refuse a block whenever the program's NewRefused says so,
// for the out-of-memory tests. refusing_new.cpp is compiled into such a program of its own, never
// into the shared support library: it replaces operator new for the whole process.
#pragma once

#include <cstddef>

// Defined by the program: true when a block of this size is to be refused now.
bool NewRefused(std::size_t size);
