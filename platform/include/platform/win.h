// Everything the system takes from the platform layer, for files that use several parts of it.
#pragma once

#include "platform/gdi.h"
#include "platform/gdi_paths.h"
#include "platform/kernel.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/resources.h"
#include "platform/types.h"
#include "platform/user.h"
