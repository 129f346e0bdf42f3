#include "platform/user.h"

#include "platform/kernel.h"

namespace {

bool Empty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

}  // namespace

BOOL IntersectRect(LPRECT dst, const RECT* a, const RECT* b)
{
    if (!dst || !a || !b) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    RECT r{a->left > b->left ? a->left : b->left, a->top > b->top ? a->top : b->top,
           a->right < b->right ? a->right : b->right, a->bottom < b->bottom ? a->bottom : b->bottom};
    if (Empty(*a) || Empty(*b) || Empty(r)) {
        *dst = RECT{0, 0, 0, 0};
        return FALSE;
    }
    *dst = r;
    return TRUE;
}

BOOL UnionRect(LPRECT dst, const RECT* a, const RECT* b)
{
    if (!dst || !a || !b) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const bool ea = Empty(*a), eb = Empty(*b);
    if (ea && eb) {
        *dst = RECT{0, 0, 0, 0};
        return FALSE;
    }
    if (ea) {
        *dst = *b;
        return TRUE;
    }
    if (eb) {
        *dst = *a;
        return TRUE;
    }
    *dst = RECT{a->left < b->left ? a->left : b->left, a->top < b->top ? a->top : b->top,
                a->right > b->right ? a->right : b->right, a->bottom > b->bottom ? a->bottom : b->bottom};
    return TRUE;
}

BOOL SubtractRect(LPRECT dst, const RECT* a, const RECT* b)
{
    if (!dst || !a || !b) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    RECT r = *a;
    RECT cut;
    if (IntersectRect(&cut, a, b)) {
        const bool fullWidth = cut.left == a->left && cut.right == a->right;
        const bool fullHeight = cut.top == a->top && cut.bottom == a->bottom;
        if (fullWidth && fullHeight) {
            r = RECT{0, 0, 0, 0};
        } else if (fullWidth) {
            if (cut.top == a->top) r.top = cut.bottom;
            else if (cut.bottom == a->bottom) r.bottom = cut.top;
        } else if (fullHeight) {
            if (cut.left == a->left) r.left = cut.right;
            else if (cut.right == a->right) r.right = cut.left;
        }
    }
    *dst = r;
    return Empty(r) ? FALSE : TRUE;
}

// Offsets wrap at 32 bits, as the system's own helpers do, instead of overflowing.
static LONG Wrap(int64_t value) { return static_cast<LONG>(static_cast<uint32_t>(value)); }

BOOL OffsetRect(LPRECT rect, int dx, int dy)
{
    if (!rect) return FALSE;
    rect->left = Wrap(int64_t{rect->left} + dx);
    rect->right = Wrap(int64_t{rect->right} + dx);
    rect->top = Wrap(int64_t{rect->top} + dy);
    rect->bottom = Wrap(int64_t{rect->bottom} + dy);
    return TRUE;
}

BOOL InflateRect(LPRECT rect, int dx, int dy)
{
    if (!rect) return FALSE;
    rect->left = Wrap(int64_t{rect->left} - dx);
    rect->right = Wrap(int64_t{rect->right} + dx);
    rect->top = Wrap(int64_t{rect->top} - dy);
    rect->bottom = Wrap(int64_t{rect->bottom} + dy);
    return TRUE;
}

BOOL SetRect(LPRECT rect, int left, int top, int right, int bottom)
{
    if (!rect) return FALSE;
    *rect = RECT{left, top, right, bottom};
    return TRUE;
}

BOOL SetRectEmpty(LPRECT rect) { return SetRect(rect, 0, 0, 0, 0); }

BOOL CopyRect(LPRECT dst, const RECT* src)
{
    if (!dst || !src) return FALSE;
    *dst = *src;
    return TRUE;
}

BOOL IsRectEmpty(const RECT* rect) { return !rect || Empty(*rect) ? TRUE : FALSE; }

BOOL EqualRect(const RECT* a, const RECT* b)
{
    if (!a || !b) return FALSE;
    return a->left == b->left && a->top == b->top && a->right == b->right && a->bottom == b->bottom;
}

BOOL PtInRect(const RECT* rect, POINT pt)
{
    if (!rect) return FALSE;
    return pt.x >= rect->left && pt.x < rect->right && pt.y >= rect->top && pt.y < rect->bottom;
}
