// Everything the system takes from the platform layer, for files that use several parts of it.
#pragma once

#include "platform/types.h"
#include "platform/kernel.h"
#include "platform/user.h"
