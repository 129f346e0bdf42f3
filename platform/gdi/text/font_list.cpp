// The process's one font list: FreeType's library, fontconfig's configuration for the system
// faces, and the private fonts installed by AddFontResourceEx and AddFontMemResourceEx.
#include <fontconfig/fontconfig.h>

#include <cstring>
#include <map>
#include <new>
#include <tuple>

#include "../../kernel/wide_text.h"
#include "font_internal.h"
#include "font_list.h"
#include "platform/kernel.h"

namespace gdi {
namespace {

// The faces of the two font packages the driver ships with; other faces on the machine are not
// used, so text renders alike everywhere.
constexpr const char* kSystemFiles[] = {
    "DejaVuSans.ttf",
    "DejaVuSans-Bold.ttf",
    "DejaVuSansMono.ttf",
    "DejaVuSansMono-Bold.ttf",
    "DejaVuSerif.ttf",
    "DejaVuSerif-Bold.ttf",
    "LiberationMono-Bold.ttf",
    "LiberationMono-BoldItalic.ttf",
    "LiberationMono-Italic.ttf",
    "LiberationMono-Regular.ttf",
    "LiberationSans-Bold.ttf",
    "LiberationSans-BoldItalic.ttf",
    "LiberationSans-Italic.ttf",
    "LiberationSans-Regular.ttf",
    "LiberationSerif-Bold.ttf",
    "LiberationSerif-BoldItalic.ttf",
    "LiberationSerif-Italic.ttf",
    "LiberationSerif-Regular.ttf",
};

bool IsSystemFile(const char* path)
{
    const char* slash = std::strrchr(path, '/');
    const char* name = slash ? slash + 1 : path;
    for (const char* allowed : kSystemFiles)
        if (std::strcmp(name, allowed) == 0) return true;
    return false;
}

struct PrivateFace {
    FaceSource source;
    std::vector<std::u16string> names;  // family names to match
    int weight = 400;
    bool italic = false;
    uint64_t installation = 0;
};

struct List {
    std::mutex lock;
    FT_Library library = nullptr;
    bool libraryTried = false;
    FcConfig* config = nullptr;
    bool configTried = false;
    std::vector<PrivateFace> faces;
    std::vector<Installation> installations;
    uint64_t nextInstallation = 1;
    // fontconfig's answers, kept for the process: its configuration is loaded once and the
    // shipped faces do not change while it runs.
    std::map<std::tuple<std::string, int, bool>, FaceSource> systemMatches;
};

// Lives for the whole process: fonts deleted by static destructors still find it. Made in storage
// of its own, so that finding it never runs out of memory.
List& L()
{
    alignas(List) static unsigned char storage[sizeof(List)];
    static List* list = new (storage) List;
    return *list;
}

FcConfig* Config()
{
    List& l = L();
    if (!l.configTried) {
        l.configTried = true;
        l.config = FcInitLoadConfigAndFonts();
    }
    return l.config;
}

// The first face of the shipped packages in fontconfig's order of preference for the pattern.
bool SystemMatch(const std::string& family, int weight, bool italic, FaceSource& out)
{
    FcConfig* config = Config();
    if (!config) return false;
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) return false;
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(weight));
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    FcFontSet* set = FcFontSort(config, pattern, FcFalse, nullptr, &result);
    bool found = false;
    for (int i = 0; set && i < set->nfont && !found; ++i) {
        FcChar8* file = nullptr;
        if (FcPatternGetString(set->fonts[i], FC_FILE, 0, &file) != FcResultMatch ||
            !IsSystemFile(reinterpret_cast<char*>(file)))
            continue;
        int index = 0;
        FcPatternGetInteger(set->fonts[i], FC_INDEX, 0, &index);
        FcChar8* name = nullptr;
        FcPatternGetString(set->fonts[i], FC_FAMILY, 0, &name);
        out = FaceSource{};
        out.file = reinterpret_cast<char*>(file);
        out.index = index;
        out.family = name ? reinterpret_cast<char*>(name) : "";
        found = true;
    }
    if (set) FcFontSetDestroy(set);
    FcPatternDestroy(pattern);
    return found;
}

std::u16string FamilyKey(std::u16string name)
{
    if (!name.empty() && name[0] == u'@') name.erase(0, 1);
    return name;
}

// The family names a face answers to: FreeType's family name and the name table's family
// records (ids 1 and 16) of the Windows and Macintosh Roman platforms.
std::vector<std::u16string> FaceNames(FT_Face face)
{
    std::vector<std::u16string> names;
    if (face->family_name) names.push_back(platform::Utf8ToUtf16(face->family_name));
    const FT_UInt count = FT_Get_Sfnt_Name_Count(face);
    for (FT_UInt i = 0; i < count; ++i) {
        FT_SfntName name;
        if (FT_Get_Sfnt_Name(face, i, &name) || (name.name_id != 1 && name.name_id != 16)) continue;
        std::u16string text;
        if (name.platform_id == 3) {
            for (FT_UInt k = 0; k + 1 < name.string_len; k += 2)
                text.push_back(char16_t((name.string[k] << 8) | name.string[k + 1]));
        } else if (name.platform_id == 1 && name.encoding_id == 0) {
            for (FT_UInt k = 0; k < name.string_len; ++k) text.push_back(char16_t(name.string[k]));
        }
        if (!text.empty()) names.push_back(std::move(text));
    }
    return names;
}

}  // namespace

int FaceWeight(FT_Face face)
{
    const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 && os2->version != 0xFFFF && os2->usWeightClass >= 1 && os2->usWeightClass <= 1000)
        return os2->usWeightClass;
    return (face->style_flags & FT_STYLE_FLAG_BOLD) ? 700 : 400;
}

std::mutex& FontListLock() { return L().lock; }

FT_Library FontLibrary()
{
    List& l = L();
    if (!l.libraryTried) {
        l.libraryTried = true;
        if (FT_Init_FreeType(&l.library)) l.library = nullptr;
    }
    return l.library;
}

FT_Face FaceOpen(const FaceSource& source)
{
    FT_Library library = FontLibrary();
    if (!library) return nullptr;
    FT_Face face = nullptr;
    FT_Error error = source.bytes ? FT_New_Memory_Face(library, source.bytes->data(), FT_Long(source.bytes->size()),
                                                       source.index, &face)
                                  : FT_New_Face(library, source.file.c_str(), source.index, &face);
    return error ? nullptr : face;
}

namespace {

// Faces of system files that no font holds, most recently given last. Each is held by one font
// at a time only, so that no two threads ever use one face at once.
struct IdleFace {
    std::string file;
    long index;
    FT_Face face;
};
constexpr size_t kIdleFacesMax = 16;

std::vector<IdleFace>& IdleFaces()
{
    static std::vector<IdleFace>* faces = new std::vector<IdleFace>();  // outlives every font
    return *faces;
}

}  // namespace

FT_Face FaceTake(const FaceSource& source)
{
    std::vector<IdleFace>& idle = IdleFaces();
    if (!source.bytes) {
        for (size_t i = idle.size(); i-- > 0;) {
            if (idle[i].index != source.index || idle[i].file != source.file) continue;
            FT_Face face = idle[i].face;
            idle.erase(idle.begin() + ptrdiff_t(i));
            return face;
        }
    }
    return FaceOpen(source);
}

void FaceGive(const FaceSource& source, FT_Face face)
{
    if (face == nullptr) return;
    std::vector<IdleFace>& idle = IdleFaces();
    if (source.bytes) {
        FT_Done_Face(face);
        return;
    }
    try {
        if (idle.size() >= kIdleFacesMax) {
            FT_Done_Face(idle.front().face);
            idle.erase(idle.begin());
        }
        idle.push_back(IdleFace{source.file, source.index, face});
    } catch (const std::bad_alloc&) {
        FT_Done_Face(face);
    }
}

bool FontListMatch(const std::u16string& faceName, int weight, bool italic, BYTE pitchAndFamily, FaceSource& out)
{
    std::lock_guard<std::mutex> guard(FontListLock());
    const std::u16string key = FamilyKey(faceName);
    const int wanted = weight == 0 ? 400 : weight;
    const PrivateFace* best = nullptr;
    int bestScore = 0;
    for (const PrivateFace& face : L().faces) {
        bool named = false;
        for (const std::u16string& name : face.names) named = named || platform::EqualNoCase(name, key);
        if (!named) continue;
        const int score = std::abs(face.weight - wanted) + (face.italic != italic ? 1000 : 0);
        if (!best || score < bestScore) {
            best = &face;
            bestScore = score;
        }
    }
    if (best) {
        out = best->source;
        return true;
    }
    std::string family = platform::Utf16ToUtf8(key);
    if (family.empty()) {
        const int kind = pitchAndFamily & 0xF0;
        family = kind == FF_ROMAN                                             ? "DejaVu Serif"
                 : (kind == FF_MODERN || (pitchAndFamily & 3) == FIXED_PITCH) ? "DejaVu Sans Mono"
                                                                              : "DejaVu Sans";
    }
    const auto matchKey = std::make_tuple(family, wanted, italic);
    if (auto known = L().systemMatches.find(matchKey); known != L().systemMatches.end()) {
        out = known->second;
        return true;
    }
    if (SystemMatch(family, wanted, italic, out) || SystemMatch("DejaVu Sans", wanted, italic, out)) {
        try {
            L().systemMatches.emplace(matchKey, out);
        } catch (const std::bad_alloc&) {}
        return true;
    }
    SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
}

uint64_t FontListInstall(std::shared_ptr<const std::vector<uint8_t>> bytes, const std::string& path, int& faces)
{
    faces = 0;
    std::lock_guard<std::mutex> guard(FontListLock());
    FT_Library library = FontLibrary();
    if (!library) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    if (bytes->empty() || bytes->size() > size_t(INT32_MAX)) {
        SetLastError(ERROR_INVALID_DATA);
        return 0;
    }
    FaceSource source;
    source.bytes = bytes;
    source.index = -1;
    FT_Face probe = FaceOpen(source);
    if (!probe) {
        SetLastError(ERROR_INVALID_DATA);
        return 0;
    }
    const long count = probe->num_faces;
    FT_Done_Face(probe);
    std::vector<PrivateFace> added;
    for (long i = 0; i < count && i < 256; ++i) {
        source.index = i;
        FT_Face face = FaceOpen(source);
        if (!face) continue;
        PrivateFace entry;
        entry.names = FaceNames(face);
        if (FT_IS_SCALABLE(face) && !entry.names.empty()) {
            entry.source = source;
            entry.source.family = platform::Utf16ToUtf8(entry.names[0]);
            entry.weight = FaceWeight(face);
            entry.italic = (face->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
            added.push_back(std::move(entry));
        }
        FT_Done_Face(face);
    }
    if (added.empty()) {
        SetLastError(ERROR_INVALID_DATA);
        return 0;
    }
    List& l = L();
    const uint64_t id = l.nextInstallation++;
    try {
        for (PrivateFace& face : added) {
            face.installation = id;
            l.faces.push_back(std::move(face));
        }
        l.installations.push_back({id, path});
    } catch (...) {
        std::erase_if(l.faces, [id](const PrivateFace& f) { return f.installation == id; });
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    faces = int(added.size());
    return id;
}

bool FontListRemove(uint64_t id, const std::string* path)
{
    std::lock_guard<std::mutex> guard(FontListLock());
    List& l = L();
    // A path removes its latest installation.
    for (auto it = l.installations.rbegin(); it != l.installations.rend(); ++it) {
        if (path ? (!it->path.empty() && it->path == *path) : (it->id == id && it->path.empty())) {
            const uint64_t found = it->id;
            l.installations.erase(std::next(it).base());
            std::erase_if(l.faces, [found](const PrivateFace& f) { return f.installation == found; });
            return true;
        }
    }
    SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
}

}  // namespace gdi
