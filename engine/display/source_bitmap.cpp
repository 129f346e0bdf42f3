// The bitmap source. Its operations are not built yet: every slot is empty.
#include "engine/display/source.h"

const SourceKindRow kSourceRowBitmap = {};
