// Qt runs on its offscreen platform in these tests: no display, nothing to wait for.
#pragma once

#include <cstdlib>

inline const bool kOffscreenPlatform = [] { return setenv("QT_QPA_PLATFORM", "offscreen", 1) == 0; }();
