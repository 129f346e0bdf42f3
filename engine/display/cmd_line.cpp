// The Line command kind. Its operations are not built yet: every slot answers as an empty one,
// and LineCreate fails, so a command that needs a line fails its record rather than drawing less.
#include "engine/display/cmd_line.h"

#include "engine/display/cmd_ops.h"
#include "platform/kernel.h"

const CmdOpRow kCmdOpRowLine = kCmdOpRowEmpty;

CmdNode* LineCreate(ResourceStore*, const POINT*, const POINT*, ResourceId, ResourceId, uint8_t)
{
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
}
