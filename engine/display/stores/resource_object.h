// What every resource store shares: the resource id, the head of every stored object (id,
// reference count, flags), the flag bits all stores use, and the cost record that requests and
// tallies GDI objects and memory.
#pragma once

#include <cstddef>
#include <cstdint>

// ResourceId: 0 none; bit 31 set a colour (low 24 bits a COLORREF 0x00BBGGRR); otherwise the id a
// resource record gave its object.
typedef uint32_t ResourceId;
inline constexpr ResourceId RESOURCE_ID_NONE = 0;
inline constexpr ResourceId RESOURCE_ID_COLOR = 0x80000000u;
inline constexpr ResourceId RESOURCE_ID_BLACK = 0x80000000u;
inline constexpr ResourceId RESOURCE_ID_WHITE = 0x80FFFFFFu;
inline constexpr bool ResourceIdIsColor(ResourceId id) { return (id & RESOURCE_ID_COLOR) != 0; }
inline constexpr uint32_t ResourceIdColor(ResourceId id) { return id & 0x00FFFFFFu; }
// Flag bits shared by every store.
inline constexpr uint32_t RESOURCE_REALISED = 0x1;  // the GDI object exists
inline constexpr uint32_t RESOURCE_IN_USE = 0x2;  // selected by the command being drawn
inline constexpr uint32_t RESOURCE_PIXELS_IN_USE = 0x400;  // its own pixel buffer is read
inline constexpr uint32_t RESOURCE_CONVERTED_IN_USE = 0x800;
inline constexpr uint32_t RESOURCE_MARKS = RESOURCE_IN_USE | RESOURCE_PIXELS_IN_USE | RESOURCE_CONVERTED_IN_USE;
inline constexpr uint32_t RESOURCE_BLACK_WHITE = 0x10;  // colour class, as the command node flags
inline constexpr uint32_t RESOURCE_GREY = 0x20;
inline constexpr uint32_t RESOURCE_COLOR = 0x40;
inline constexpr uint32_t RESOURCE_COLOR_MASK = 0x70;

// The head every stored object begins with.
struct ResourceObject {
    ResourceId id;
    uint32_t refs;
    uint32_t flags;
};
static_assert(sizeof(ResourceObject) == 12);

// A trim may free an object only when nothing marks it in use.
inline bool ResourceMarked(const ResourceObject* object) { return (object->flags & RESOURCE_MARKS) != 0; }
// Reference counts, in one place: they never wrap below 0. ResourceRefDrop returns the new count.
inline void ResourceRefAdd(ResourceObject* object) { ++object->refs; }
inline uint32_t ResourceRefDrop(ResourceObject* object)
{
    if (object->refs > 0) --object->refs;
    return object->refs;
}

// A request (what making a resource ready would cost; trims subtract what they free) or a tally
// (what a realise or release allocated, negative for what it freed).
struct ResourceCost {
    int32_t objects;  // GDI objects
    int32_t memory;  // bytes of the engine's own buffers
    int32_t deviceMemory;  // bytes of device bitmaps
};
static_assert(sizeof(ResourceCost) == 12);

// An oldest-first list of a store's objects, linked through two members of each entry (the
// realised brushes and pens, the clips with regions or device lists).
template <class Entry, Entry* Entry::*Prev, Entry* Entry::*Next>
struct ResourceList {
    Entry* first = nullptr;
    Entry* last = nullptr;

    void Append(Entry* entry)
    {
        entry->*Next = nullptr;
        entry->*Prev = last;
        if (last != nullptr) last->*Next = entry;
        else first = entry;
        last = entry;
    }
    // An entry that is not in the list is left alone.
    void Unlink(Entry* entry)
    {
        if (entry->*Prev != nullptr) (entry->*Prev)->*Next = entry->*Next;
        else if (first == entry) first = entry->*Next;
        else return;
        if (entry->*Next != nullptr) (entry->*Next)->*Prev = entry->*Prev;
        else last = entry->*Prev;
        entry->*Prev = entry->*Next = nullptr;
    }
    // Moves an entry to the newest end.
    void Touch(Entry* entry)
    {
        Unlink(entry);
        Append(entry);
    }
};

// The answer of a store whose records are not read yet: the record fails its page, so that
// nothing is drawn without the resource it names.
int ResourceRecordUnsupported();
