// Module resources compiled into a library: a table of (type, name) -> bytes per library.
//
// A library declares its table in one .cpp file:
//
//     #include "platform/resources.h"
//     static const unsigned char kProfile[] = {...};
//     FAX_RESOURCE_TABLE(EngineResources,
//         {FaxResourceKey("Profiles"), FaxResourceKey(101), kProfile, sizeof kProfile});
//
// A static object in that file registers the table with the process's one platform layer when
// the image that holds it (shared library or program) is loaded, keyed by that image, and
// unregisters it when the image is unloaded. FindResourceA/W look a module handle's image up among
// the registered tables, so a library unloaded and loaded again finds its resources each time.
//
// Linking: an archive member is only linked when something references it. Shared libraries link
// their cores whole, so their tables are always there; a program that links a static core gets a
// table only when it references its file, so the code that loads the resources should call the
// table's FaxResourceTableLink_<Name>() once (it does nothing else).
#pragma once

#include <array>
#include <cstddef>

#include "platform/types.h"

// Declarations from here on are the platform library's exports.
#pragma GCC visibility push(default)

// A type or a name: a string (matched without regard to case) or a 16-bit integer id.
struct FaxResourceKey {
    constexpr FaxResourceKey(const char* text) : name(text), id(0) {}
    constexpr FaxResourceKey(int number) : name(nullptr), id(static_cast<WORD>(number)) {}
    const char* name;  // UTF-8; null when the key is the integer id
    WORD id;
};

struct FaxResource {
    FaxResourceKey type;
    FaxResourceKey name;
    const void* data;
    DWORD size;
};

struct FaxResourceTable {
    const FaxResource* entries;
    size_t count;
    FaxResourceTable* next;  // the registered tables form a list
    const void* image;  // the loaded image that holds the table, set on registration
};

// Well-known integer types (RT_STRING blocks hold 16 strings of id (block - 1) * 16 + i, each as a
// 16-bit length followed by that many UTF-16LE code units, without terminators).
#define RT_CURSOR_ID 1
#define RT_ICON_ID 3
#define RT_MENU_ID 4
#define RT_DIALOG_ID 5
#define RT_RCDATA_ID 10

namespace platform {
// Registers a table of the image that holds it, until that image unregisters it on unloading.
void ResourceTableRegister(FaxResourceTable* table);
void ResourceTableUnregister(FaxResourceTable* table);
struct ResourceTableRegistration {
    explicit ResourceTableRegistration(FaxResourceTable* table) : table_(table) { ResourceTableRegister(table); }
    ~ResourceTableRegistration() { ResourceTableUnregister(table_); }
    ResourceTableRegistration(const ResourceTableRegistration&) = delete;
    ResourceTableRegistration& operator=(const ResourceTableRegistration&) = delete;

private:
    FaxResourceTable* table_;
};
}  // namespace platform

#define FAX_RESOURCE_TABLE(Name, ...)                                                                              \
    static const FaxResource Name##_entries[] = {__VA_ARGS__};                                                     \
    static FaxResourceTable Name##_table = {Name##_entries, sizeof(Name##_entries) / sizeof(FaxResource), nullptr, \
                                            nullptr};                                                              \
    static const ::platform::ResourceTableRegistration Name##_registration(&Name##_table);                         \
    int FaxResourceTableLink_##Name() { return static_cast<int>(Name##_table.count); }

// Declares the link function of a table defined in another file, for the code that uses it.
#define FAX_DECLARE_RESOURCE_TABLE(Name) int FaxResourceTableLink_##Name()

// Builds one RT_STRING block at compile time from up to 16 strings (missing ones are empty):
//     alignas(2) constexpr auto kBlock = FaxStringBlock(u"first", u"", u"third");
// registered as {FaxResourceKey(RT_STRING_ID), FaxResourceKey(block), kBlock.data(), kBlock.size()}
// with block = (first string id) / 16 + 1.
template <size_t... Lengths>
constexpr auto FaxStringBlock(const char16_t (&... texts)[Lengths])
{
    static_assert(sizeof...(Lengths) <= 16, "a string block holds 16 strings");
    constexpr size_t kBytes = 2 * 16 + ((2 * (Lengths - 1)) + ... + 0);
    std::array<unsigned char, kBytes> block{};
    size_t at = 0;
    auto put = [&](const char16_t* text, size_t length) {
        block[at++] = static_cast<unsigned char>(length & 0xFF);
        block[at++] = static_cast<unsigned char>(length >> 8);
        for (size_t i = 0; i < length; ++i) {
            block[at++] = static_cast<unsigned char>(text[i] & 0xFF);
            block[at++] = static_cast<unsigned char>(text[i] >> 8);
        }
    };
    (put(texts, Lengths - 1), ...);
    return block;  // the remaining strings stay empty (zero lengths)
}

#pragma GCC visibility pop
