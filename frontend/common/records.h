// The records that the sending sheet, Coverprint and the driver's side exchange through the
// registry and the data files. Every stored integer is little-endian and every text UTF-16 unless
// said otherwise; a text field's size counts its terminator, and a text read from outside may
// fill its field without one, so it is only ever read up to the field's end.
#pragma once

#include <bit>
#include <cstddef>
#include <cstring>
#include <span>
#include <type_traits>

#include "platform/types.h"

// One contact, one receiver or the sender. The key identifies a contact in group member lists;
// a receiver typed in by hand has an empty key.
struct ContactRecord {
    WCHAR key[8];
    WCHAR name[66];
    WCHAR company[66];
    WCHAR department[66];
    WCHAR phone[66];
    WCHAR fax[66];
    WCHAR email[66];
    WCHAR address[66];
};
static_assert(sizeof(ContactRecord) == 940);
static_assert(offsetof(ContactRecord, name) == 16 && offsetof(ContactRecord, company) == 148);
static_assert(offsetof(ContactRecord, department) == 280 && offsetof(ContactRecord, phone) == 412);
static_assert(offsetof(ContactRecord, fax) == 544 && offsetof(ContactRecord, email) == 676);
static_assert(offsetof(ContactRecord, address) == 808);

struct GroupRecord {
    BYTE head[16];  // written by the address book; not interpreted here
    WCHAR name[66];
    WCHAR members[300];  // the member contacts' keys, each followed by ";"
};
static_assert(sizeof(GroupRecord) == 748);
static_assert(offsetof(GroupRecord, name) == 16 && offsetof(GroupRecord, members) == 148);

struct CoverPageSettings {
    WORD paperWidth;  // tenths of a millimetre
    WORD paperHeight;
    WORD orientation;  // 1 portrait, anything else landscape
    WORD style;  // 0 no cover page, 1..9 the template's style
    WORD pictureOn;
    WORD pictureScale;  // percent, 10..400
    WORD pictureX;  // percent, 0..100
    WORD pictureY;
    ContactRecord sender;
    WCHAR picturePath[260];
    WORD showSubject;
    WORD showSender;
    WORD showDateTime;
    WORD showReceivers;
    WCHAR subject[66];
    SHORT previewPage[4];  // left, top, right, bottom in preview pixels: the preview's own
    SHORT previewPicture[4];  // working values, which no reader of the stored value uses
};
static_assert(sizeof(CoverPageSettings) == 1632);
static_assert(offsetof(CoverPageSettings, pictureY) == 14 && offsetof(CoverPageSettings, sender) == 16);
static_assert(offsetof(CoverPageSettings, picturePath) == 956 && offsetof(CoverPageSettings, showSubject) == 1476);
static_assert(offsetof(CoverPageSettings, showReceivers) == 1482 && offsetof(CoverPageSettings, subject) == 1484);
static_assert(offsetof(CoverPageSettings, previewPage) == 1616 && offsetof(CoverPageSettings, previewPicture) == 1624);

struct CountValue {
    BYTE head[4];  // carried from "CountInfo" into "CountPout" unchanged
    WORD contactCount;
    WORD groupCount;
};
static_assert(sizeof(CountValue) == 8 && offsetof(CountValue, contactCount) == 4 &&
              offsetof(CountValue, groupCount) == 6);

// Texts in the system ANSI code page.
struct DriverPathValue {
    char printerName[128];
    char driverFolder[260];  // ends in a folder separator
};
static_assert(sizeof(DriverPathValue) == 388 && offsetof(DriverPathValue, driverFolder) == 128);

// The records hold only bytes and 16-bit little-endian fields, so on a little-endian host their
// stored bytes are their memory image; this is the one place that relies on it.
static_assert(std::endian::native == std::endian::little, "the front end's records are stored little-endian");
template <typename Record>
void RecordFromBytes(Record& record, std::span<const BYTE> bytes)
{
    static_assert(std::is_trivially_copyable_v<Record>);
    std::memset(&record, 0, sizeof record);
    std::memcpy(&record, bytes.data(), bytes.size() < sizeof record ? bytes.size() : sizeof record);
}

// Registry values under HKEY_CURRENT_USER "SoftWare\QUOBA\<prefix>".
inline constexpr const WCHAR* kFaxKeyFormat = u"SoftWare\\QUOBA\\";
inline constexpr const WCHAR* kValueCoverPagePout = u"CoverPagePout";
inline constexpr const WCHAR* kValueCoverPageUI = u"CoverPageUI";
inline constexpr const WCHAR* kValueCountInfo = u"CountInfo";
inline constexpr const WCHAR* kValueCountPout = u"CountPout";
inline constexpr const WCHAR* kValueDriverPath = u"DriverPath";
