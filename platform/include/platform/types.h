// Basic Windows types with their Windows sizes on LP64 Linux: DWORD and LONG are 32 bits,
// handles and LONG_PTR are pointer-sized. Every declaration here is ours.
#pragma once

#include <cstddef>
#include <cstdint>

typedef int BOOL;
typedef unsigned char BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int32_t INT;
typedef uint32_t UINT;
typedef int16_t SHORT;
typedef uint16_t USHORT;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef uintptr_t DWORD_PTR;
typedef size_t SIZE_T;
typedef char CHAR;
typedef char16_t WCHAR;  // UTF-16 code unit, as on Windows; wchar_t is 32 bits here
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef CHAR* LPSTR;
typedef const CHAR* LPCSTR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef DWORD COLORREF;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

typedef void* HANDLE;
#define FAX_DECLARE_HANDLE(name) \
    struct name##__ {            \
        int unused;              \
    };                           \
    typedef struct name##__* name
FAX_DECLARE_HANDLE(HINSTANCE);
typedef HINSTANCE HMODULE;
FAX_DECLARE_HANDLE(HKEY);
FAX_DECLARE_HANDLE(HRSRC);
FAX_DECLARE_HANDLE(HGLOBAL_);
typedef HANDLE HGLOBAL;
FAX_DECLARE_HANDLE(HWND);
FAX_DECLARE_HANDLE(HDC);
FAX_DECLARE_HANDLE(HGDIOBJ_);
typedef void* HGDIOBJ;
FAX_DECLARE_HANDLE(HBITMAP);
FAX_DECLARE_HANDLE(HBRUSH);
FAX_DECLARE_HANDLE(HPEN);
FAX_DECLARE_HANDLE(HFONT);
FAX_DECLARE_HANDLE(HRGN);
FAX_DECLARE_HANDLE(HPALETTE);

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))

typedef int (*FARPROC)();

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
typedef RECT* LPRECT;
typedef const RECT* LPCRECT;

struct POINT {
    LONG x;
    LONG y;
};
typedef POINT* LPPOINT;

struct SIZE {
    LONG cx;
    LONG cy;
};
typedef SIZE* LPSIZE;

static_assert(sizeof(DWORD) == 4 && sizeof(LONG) == 4 && sizeof(WORD) == 2 && sizeof(WCHAR) == 2);
static_assert(sizeof(RECT) == 16 && sizeof(POINT) == 8 && sizeof(SIZE) == 8);
static_assert(sizeof(HANDLE) == 8 && sizeof(LONG_PTR) == 8);

#define MAKEWORD(a, b) (static_cast<WORD>((static_cast<BYTE>(a)) | (static_cast<WORD>(static_cast<BYTE>(b)) << 8)))
#define LOWORD(l) (static_cast<WORD>(static_cast<DWORD_PTR>(l) & 0xffff))
#define HIWORD(l) (static_cast<WORD>((static_cast<DWORD_PTR>(l) >> 16) & 0xffff))
#define LOBYTE(w) (static_cast<BYTE>(static_cast<DWORD_PTR>(w) & 0xff))
#define RGB(r, g, b)                                                                                 \
    (static_cast<COLORREF>((static_cast<BYTE>(r)) | (static_cast<WORD>(static_cast<BYTE>(g)) << 8) | \
                           (static_cast<DWORD>(static_cast<BYTE>(b)) << 16)))
#define GetRValue(c) (static_cast<BYTE>(c))
#define GetGValue(c) (static_cast<BYTE>(static_cast<WORD>(c) >> 8))
#define GetBValue(c) (static_cast<BYTE>((c) >> 16))
