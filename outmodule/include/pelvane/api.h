// Marks a function that libpelvane.so exports (see outmodule/pelvane.map).
#pragma once

#define PELVANE_API extern "C" __attribute__((visibility("default")))
