// Stand-in until the form table's loader is built: a form in the job cannot be defined yet, so a
// job that carries one is refused instead of being rendered without it.
#include "engine/spool/preamble.h"

int FormLoad(FormTable*, Stream*)
{
    SetLastError(ERROR_NOT_SUPPORTED);
    return 0;
}
