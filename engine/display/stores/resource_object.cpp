#include "engine/display/stores/resource_object.h"

#include "platform/kernel.h"

int ResourceRecordUnsupported()
{
    SetLastError(ERROR_NOT_SUPPORTED);
    return 0;
}
