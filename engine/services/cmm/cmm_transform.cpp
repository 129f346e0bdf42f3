// Transforms: the sampled pipeline and the device-link profile that describes it (header,
// profile sequence, description, notice, and the room of the "A2B0" table the pipeline fills
// when the link is saved).
#include <new>
#include <string>
#include <vector>

#include "engine/common/byte_order.h"
#include "engine/services/cmm/cmm_link.h"
#include "engine/services/cmm/cmm_tags.h"

namespace {

constexpr uint32_t kLink = CmmSignature("link");
constexpr char kNotice[] = "Device link made by the fax engine's colour management";

void Put32(std::vector<uint8_t>& b, uint32_t v)
{
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (24 - 8 * i)));
}

// A "desc" tag (or pseq member): the ASCII text, empty Unicode and ScriptCode parts.
void PutDescription(std::vector<uint8_t>& b, const std::string& text)
{
    Put32(b, CmmSignature("desc"));
    Put32(b, 0);
    Put32(b, static_cast<uint32_t>(text.size() + 1));
    b.insert(b.end(), text.begin(), text.end());
    b.push_back(0);
    b.insert(b.end(), 78, 0);
}

// The bytes of one "desc" structure starting at p within size, or 0 when it does not fit.
uint64_t DescriptionLength(const uint8_t* p, uint64_t size)
{
    if (size < 12) return 0;
    uint64_t at = 12 + uint64_t{LoadBE32(p + 8)};
    if (at + 8 > size) return 0;
    at += 8 + 2 * uint64_t{LoadBE32(p + at + 4)};
    at += 3 + 67;
    return at <= size ? at : 0;
}

// A device link's own sequence entries, copied as they are.
void AppendSequence(CmmObject* profile, std::vector<uint8_t>& entries, uint32_t& count)
{
    uint32_t size = 0;
    const uint8_t* p = CmmTagBytes(profile, CmmSignature("pseq"), &size);
    if (p == nullptr || size < 12 || LoadBE32(p) != CmmSignature("pseq")) return;
    const uint32_t n = LoadBE32(p + 8);
    uint64_t at = 12;
    for (uint32_t i = 0; i < n; ++i) {
        const uint64_t start = at;
        if (at + 20 > size) return;
        at += 20;
        for (int d = 0; d < 2; ++d) {
            const uint64_t length = DescriptionLength(p + at, size - at);
            if (length == 0) return;
            at += length;
        }
        entries.insert(entries.end(), p + start, p + at);
        ++count;
    }
}

void AddSequenceEntry(CmmObject* profile, std::vector<uint8_t>& entries, uint32_t& count)
{
    const CmmProfileHeader& h = *CmmProfileHeaderOf(profile);
    if (h.deviceClass == kLink) {
        AppendSequence(profile, entries, count);
        return;
    }
    Put32(entries, h.manufacturer);
    Put32(entries, h.model);
    Put32(entries, h.attributes[0]);
    Put32(entries, h.attributes[1]);
    Put32(entries, CmmTagReadSignature(profile, CmmSignature("tech")));
    char text[256];
    CmmTagReadDescription(profile, CmmSignature("dmnd"), text, sizeof text);
    PutDescription(entries, text);
    CmmTagReadDescription(profile, CmmSignature("dmdd"), text, sizeof text);
    PutDescription(entries, text);
    ++count;
}

void DeviceLinkTagsSet(CmmGlobals* g, CmmObject* link, uint32_t count, CmmObject* profiles, uint32_t tableSize)
{
    std::vector<uint8_t> entries;
    uint32_t entryCount = 0;
    for (uint32_t i = 0; i < count; ++i) AddSequenceEntry(&profiles[i], entries, entryCount);
    std::vector<uint8_t> sequence;
    Put32(sequence, CmmSignature("pseq"));
    Put32(sequence, 0);
    Put32(sequence, entryCount);
    sequence.insert(sequence.end(), entries.begin(), entries.end());
    CmmProfileSetTag(g, link, CmmSignature("pseq"), static_cast<uint32_t>(sequence.size()), sequence.data());

    char text[256];
    CmmTagReadDescription(&profiles[0], CmmSignature("desc"), text, sizeof text);
    std::string description = text;
    if (count > 1) {
        CmmTagReadDescription(&profiles[count - 1], CmmSignature("desc"), text, sizeof text);
        if (text[0] != '\0') description += std::string(" - ") + text;
    }
    std::vector<uint8_t> desc;
    PutDescription(desc, description);
    CmmProfileSetTag(g, link, CmmSignature("desc"), static_cast<uint32_t>(desc.size()), desc.data());
    std::vector<uint8_t> notice;
    Put32(notice, CmmSignature("text"));
    Put32(notice, 0);
    notice.insert(notice.end(), kNotice, kNotice + sizeof kNotice);
    CmmProfileSetTag(g, link, CmmSignature("cprt"), static_cast<uint32_t>(notice.size()), notice.data());
    CmmProfileSetTag(g, link, CmmSignature("A2B0"), tableSize, nullptr);
}

void BuildDeviceLink(CmmGlobals* g, CmmObject* link, uint32_t count, CmmObject* profiles, uint32_t inputSpace,
                     uint32_t outputSpace, uint32_t intent, uint32_t tableSize)
{
    CmmProfileNew(g, link, 0);
    if (CmmFailed(g)) return;
    CmmProfileHeader header{};
    CmmProfileReadHeader(g, link, &header);
    const CmmProfileHeader& first = *CmmProfileHeaderOf(&profiles[0]);
    header.deviceClass = kLink;
    header.version = 0x02000000;
    header.magic = CMM_PROFILE_MAGIC;
    header.colorSpace = inputSpace;
    header.connectionSpace = outputSpace;
    header.intent = intent;
    header.cmmType = first.cmmType;
    for (int i = 0; i < 6; ++i) header.date[i] = first.date[i];
    header.platform = first.platform;
    header.manufacturer = first.manufacturer;
    header.model = first.model;
    for (int i = 0; i < 3; ++i) header.illuminant[i] = first.illuminant[i];
    CmmProfileWriteHeader(g, link, &header);
    // The tags are put together in C++ containers: running out of memory there is the colour
    // system's own failure, and the link is released by its owner as after any other.
    try {
        DeviceLinkTagsSet(g, link, count, profiles, tableSize);
    } catch (const std::bad_alloc&) {
        CmmRaise(g, CMM_STATUS_NO_MEMORY);
    }
}

void TransformDestroy(CmmGlobals* g, CmmObject* self)
{
    CmmTransform* t = CmmTransformOf(self);
    CmmObjectRelease(g, &t->pipeline);
    CmmObjectRelease(g, &t->unused);
    CmmObjectRelease(g, &t->deviceLink);
}

// The copy shares the source's objects until it has its own.
void TransformCopyHook(CmmGlobals* g, CmmObject* source, CmmObject* copy)
{
    CmmTransform* from = CmmTransformOf(source);
    CmmTransform* to = CmmTransformOf(copy);
    to->pipeline = to->unused = to->deviceLink = CmmObject{};
    CmmObjectCopy(g, &from->pipeline, &to->pipeline);
    CmmObjectCopy(g, &from->deviceLink, &to->deviceLink);
}

void TransformRunOp(CmmGlobals* g, CmmObject* self, CmmObject* source, CmmObject* destination)
{
    CmmPipelineRun(g, &CmmTransformOf(self)->pipeline, source, destination);
}

}  // namespace

void CmmLink(CmmGlobals* g, CmmObject* transform, uint32_t count, CmmObject* profiles, uint32_t intentCount,
             const uint32_t* intents, uint32_t options)
{
    CmmObjectInit(transform, CMM_TYPE_TRANSFORM);
    if (CmmFailed(g)) return;
    transform->bodySize = sizeof(CmmTransform);
    CmmObjectAllocate(g, transform);
    if (transform->block == nullptr) return;
    CmmTransform* t = CmmTransformOf(transform);
    CmmObjectSetSlot(transform, CMM_SLOT_LIFECYCLE, &t->lifecycle);
    CmmObjectSetSlot(transform, CMM_SLOT_CONVERSION, &t->conversion);
    t->lifecycle.destroy = TransformDestroy;
    t->lifecycle.copyHook = TransformCopyHook;
    t->conversion.run = TransformRunOp;
    CmmObject chain{};
    uint32_t intent = 0;
    CmmLinkChain(g, &chain, count, profiles, intentCount, intents, options, &intent);
    if (!CmmFailed(g)) {
        const uint32_t inputSpace = CmmProfileHeaderOf(&profiles[0])->colorSpace;
        const uint32_t outputSpace = count > 1 ? CmmProfileHeaderOf(&profiles[count - 1])->colorSpace
                                               : CmmProfileHeaderOf(&profiles[0])->connectionSpace;
        t->conversion.inputs = CmmObjectInputs(&chain);
        t->conversion.outputs = CmmObjectOutputs(&chain);
        CmmPipelineCreate(g, &t->pipeline, t->conversion.inputs, t->conversion.outputs, 3, &chain);
        if (!CmmFailed(g))
            BuildDeviceLink(g, &t->deviceLink, count, profiles, inputSpace, outputSpace, intent,
                            CmmPipelineOf(&t->pipeline)->serializedSize);
    }
    CmmObjectRelease(g, &chain);
    if (CmmFailed(g)) {
        const CmmStatus status = g->status;
        CmmObjectRelease(g, transform);
        CmmRaise(g, status);
    }
}

void CmmTransformRun(CmmGlobals* g, CmmObject* transform, CmmObject* source, CmmObject* destination)
{
    if (transform == nullptr || transform->type != CMM_TYPE_TRANSFORM) {
        CmmRaise(g, CMM_STATUS_FAILED);
        return;
    }
    CmmObjectRun(g, transform, source, destination);
}

void CmmTransformSave(CmmGlobals* g, CmmObject* transform, const CmmProfileSource* source)
{
    if (CmmFailed(g)) return;
    CmmTransform* t = CmmTransformOf(transform);
    const uint32_t size = CmmProfileHeaderOf(&t->deviceLink)->size;
    CmmObject stream{};
    if (source->inMemory != 0) {
        if (source->size < size) {
            CmmRaise(g, CMM_STATUS_NO_ROOM);
            return;
        }
        CmmMemoryStreamCreate(g, &stream, size, const_cast<uint8_t*>(source->data), 0, 0);
    } else {
        CmmFileStreamCreate(g, &stream, source, CMM_ACCESS_WRITE, false, 0, 0);
    }
    CmmProfileWrite(g, &t->deviceLink, &stream);
    CmmObjectWrite(g, &t->pipeline, &stream);
    // The table's room ends on a 4-byte boundary, as the profile's size says.
    const uint32_t table = CmmPipelineOf(&t->pipeline)->serializedSize;
    const uint8_t pad[4] = {};
    if (table % 4 != 0) CmmStreamWriteElements(g, &stream, pad, CMM_ELEMENT_U8, 4 - table % 4);
    CmmObjectRelease(g, &stream);
}
