// Marks a function that librastrel.so exports: C linkage and default visibility. The version
// script (engine/rastrel.map) fixes the exact set of exported names.
#pragma once

#define RASTREL_API extern "C" __attribute__((visibility("default")))
