// Internal controls of the JBIG encoder, for tests.
#pragma once

#include "rastrel/imx.h"

// Switches the coding of all-white 32-pixel groups in one step on (the default) or off, so that
// tests can compare it with coding every pixel.
void JbigEncoderWhiteFastPathSet(ImxJBIGEncoder* encoder, bool enabled);
