#include "engine/common/rect_list.h"

#include "platform/user.h"

uint32_t RectListCull(uint32_t count, RECT* list, const RECT* rect)
{
    uint32_t kept = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const RECT r = list[i];
        if (r.left < rect->right && r.right > rect->left && r.top < rect->bottom && r.bottom > rect->top) {
            list[kept++] = r;
        }
    }
    return kept;
}

uint32_t RectListIntersect(uint32_t count, RECT* list, const RECT* rect)
{
    uint32_t kept = 0;
    for (uint32_t i = 0; i < count; ++i) {
        RECT clipped;
        if (IntersectRect(&clipped, &list[i], rect)) {
            list[kept++] = clipped;
        }
    }
    return kept;
}
