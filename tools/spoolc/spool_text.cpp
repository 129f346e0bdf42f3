#include "tools/spoolc/spool_text.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "engine/spool/spool_records.h"

namespace {

struct Token {
    std::string key;
    std::string value;
    bool quoted = false;
};

[[noreturn]] void Fail(const std::string& message) { throw SpoolError(message); }

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Splits a line into the record name and key=value tokens; '#' outside quotes starts a comment.
std::vector<Token> Tokenize(std::string_view line)
{
    std::vector<Token> tokens;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
        if (i >= line.size() || line[i] == '#') break;
        Token t;
        while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i])) && line[i] != '=')
            t.key += line[i++];
        if (i < line.size() && line[i] == '=') {
            ++i;
            if (i < line.size() && line[i] == '"') {
                t.quoted = true;
                ++i;
                for (;;) {
                    if (i >= line.size()) Fail("unterminated text");
                    char c = line[i++];
                    if (c == '"') break;
                    if (c == '\\') {
                        if (i >= line.size()) Fail("unterminated text");
                        c = line[i++];
                        if (c == 'x') {
                            if (i + 2 > line.size() || HexDigit(line[i]) < 0 || HexDigit(line[i + 1]) < 0)
                                Fail("bad \\x escape");
                            c = static_cast<char>(HexDigit(line[i]) * 16 + HexDigit(line[i + 1]));
                            i += 2;
                        } else if (c == 'n') {
                            c = '\n';
                        } else if (c == 't') {
                            c = '\t';
                        } else if (c != '\\' && c != '"') {
                            Fail("bad escape");
                        }
                    }
                    t.value += c;
                }
            } else {
                while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i])) && line[i] != '#')
                    t.value += line[i++];
            }
        }
        tokens.push_back(std::move(t));
    }
    return tokens;
}

int64_t ParseInteger(const Token& t)
{
    if (t.quoted || t.value.empty()) Fail(t.key + " needs a number");
    const char* s = t.value.c_str();
    char* end = nullptr;
    errno = 0;
    int64_t v;
    if (s[0] == '-') v = std::strtoll(s, &end, 0);
    else v = static_cast<int64_t>(std::strtoull(s, &end, 0));
    if (errno != 0 || *end != '\0') Fail("bad number " + t.value + " for " + t.key);
    return v;
}

// A number for a field of the given kind, which must hold it as it is.
int64_t FieldInteger(const Token& t, SpoolFieldKind kind)
{
    const int64_t v = ParseInteger(t);
    int64_t low = 0, high = INT64_MAX;
    switch (kind) {
        case SpoolFieldKind::U8: high = 0xff; break;
        case SpoolFieldKind::U16: high = 0xffff; break;
        case SpoolFieldKind::U32: high = 0xffffffffll; break;
        case SpoolFieldKind::I32:
            low = INT32_MIN;
            high = INT32_MAX;
            break;
        default: break;
    }
    const bool u64 = kind == SpoolFieldKind::U64 && t.value[0] != '-';  // parsed as unsigned, any bits
    if (!u64 && (v < low || v > high))
        Fail(t.key + "=" + t.value + " is out of range (" + std::to_string(low) + " to " + std::to_string(high) + ")");
    return v;
}

std::vector<uint8_t> ParseHex(const Token& t)
{
    std::vector<uint8_t> out;
    std::string digits;
    for (char c : t.value)
        if (c != '_' && c != ':') digits += c;
    if (digits.size() % 2 != 0) Fail(t.key + ": odd number of hex digits");
    for (size_t i = 0; i < digits.size(); i += 2) {
        const int hi = HexDigit(digits[i]), lo = HexDigit(digits[i + 1]);
        if (hi < 0 || lo < 0) Fail(t.key + ": bad hex digit");
        out.push_back(static_cast<uint8_t>(hi * 16 + lo));
    }
    return out;
}

const Token* FindToken(const std::vector<Token>& tokens, std::string_view key)
{
    for (size_t i = 1; i < tokens.size(); ++i)
        if (tokens[i].key == key) return &tokens[i];
    return nullptr;
}

std::vector<uint8_t> CompileLine(const std::vector<Token>& tokens)
{
    const std::string& name = tokens[0].key;
    if (!tokens[0].value.empty()) Fail("a line starts with a record name");
    if (name == "bytes") {
        if (tokens.size() != 2 || tokens[1].key != "data") Fail("bytes takes data=<hex>");
        return ParseHex(tokens[1]);
    }
    if (name == "raw") {
        const Token* type = FindToken(tokens, "type");
        if (!type) Fail("raw needs type=");
        const Token* v = FindToken(tokens, "v");
        const Token* size = FindToken(tokens, "size");
        const Token* data = FindToken(tokens, "data");
        for (size_t i = 1; i < tokens.size(); ++i)
            if (tokens[i].key != "type" && tokens[i].key != "v" && tokens[i].key != "size" && tokens[i].key != "data")
                Fail("raw has no field " + tokens[i].key);
        const int64_t typeValue = ParseInteger(*type);
        const int64_t version = v ? ParseInteger(*v) : 0;
        const int64_t sizeValue = size ? ParseInteger(*size) : -1;
        if (typeValue < 0 || typeValue > 0xffff || version < 0 || version > 0xffff || sizeValue > 0xffffffffll)
            Fail("raw: value out of range");
        return SpoolRawRecord(static_cast<uint16_t>(typeValue), static_cast<uint16_t>(version),
                              data ? ParseHex(*data) : std::vector<uint8_t>{}, sizeValue);
    }
    int version = -1;
    if (const Token* v = FindToken(tokens, "v")) {
        const int64_t value = ParseInteger(*v);
        if (value < 0 || value > 0xffff) Fail("version out of range");
        version = static_cast<int>(value);
    }
    const SpoolRecordLayout* layout = SpoolLayoutFind(name, version);
    if (!layout) Fail(version >= 0 ? name + " has no version " + std::to_string(version) : "unknown record " + name);
    SpoolFields fields;
    for (size_t i = 1; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        for (size_t j = 1; j < i; ++j)
            if (tokens[j].key == t.key) Fail(name + ": field " + t.key + " is given twice");
        if (t.key == "data") {
            fields.push_back({t.key, ParseHex(t)});
            continue;
        }
        if (t.key == "v" || t.key == "size" || t.key == "type") {
            fields.push_back({t.key, ParseInteger(t)});
            continue;
        }
        const SpoolFieldLayout* field = nullptr;
        for (const auto& f : layout->fields)
            if (t.key == f.name) field = &f;
        if (!field) Fail(name + " has no field " + t.key);
        if (field->kind == SpoolFieldKind::Bytes) fields.push_back({t.key, ParseHex(t)});
        else if (field->kind == SpoolFieldKind::Chars) fields.push_back({t.key, t.value});
        else fields.push_back({t.key, FieldInteger(t, field->kind)});
    }
    return SpoolRecordEncode(*layout, fields);
}

std::string Hex(const uint8_t* p, size_t n)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        out += digits[p[i] >> 4];
        out += digits[p[i] & 15];
    }
    return out;
}

std::string Number(int64_t v, bool hex)
{
    char text[32];
    if (hex) std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(v));
    else std::snprintf(text, sizeof text, "%lld", static_cast<long long>(v));
    return text;
}

std::string Quote(const uint8_t* p, size_t n)
{
    std::string out = "\"";
    for (size_t i = 0; i < n; ++i) {
        const char c = static_cast<char>(p[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (p[i] >= 0x20 && p[i] < 0x7f) {
            out += c;
        } else {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\x%02x", p[i]);
            out += esc;
        }
    }
    return out + "\"";
}

// A record as raw type and version, with its size when that is not what the dump holds of it
// (available bytes); the caller writes its payload behind the header as data.
std::string RawLine(const SpoolRecordHeader& h, uint64_t available)
{
    std::string line = "raw type=" + Number(h.type, true) + " v=" + Number(h.version, false);
    if (h.size != available) line += " size=" + Number(h.size, false);
    return line;
}

// The record by its layout's names, or an empty text when the layout cannot say it exactly. p
// holds the record's fixed part; the bytes behind it (size less the fixed part) are the caller's
// to write as data.
std::string NamedLine(const SpoolRecordLayout& layout, const uint8_t* p, uint32_t size)
{
    const SpoolRecordHeader h = SpoolRecordHeaderLoad(p);
    std::string line = layout.name;
    if (SpoolLayoutVersioned(layout.name) || (layout.version == kSpoolAnyVersion && h.version != 0))
        line += " v=" + Number(h.version, false);
    const uint32_t tail = size - layout.fixedSize;
    bool blobSizeSaid = false;
    for (const SpoolFieldLayout& f : layout.fields) {
        const uint8_t* q = p + f.offset;
        int64_t v = 0;
        switch (f.kind) {
            case SpoolFieldKind::U8: v = q[0]; break;
            case SpoolFieldKind::U16: v = LoadLE16(q); break;
            case SpoolFieldKind::U32: v = LoadLE32(q); break;
            case SpoolFieldKind::I32: v = static_cast<int32_t>(LoadLE32(q)); break;
            case SpoolFieldKind::U64: v = static_cast<int64_t>(LoadLE64(q)); break;
            case SpoolFieldKind::Bytes: {
                size_t n = f.length;
                while (n > 0 && q[n - 1] == 0) --n;
                if (n) line += std::string(" ") + f.name + "=" + Hex(q, n);
                continue;
            }
            case SpoolFieldKind::Chars: {
                const size_t n = strnlen(reinterpret_cast<const char*>(q), f.length);
                if (n) line += std::string(" ") + f.name + "=" + Quote(q, n);
                continue;
            }
        }
        const bool isBlobSize = layout.blobSizeField && std::strcmp(f.name, layout.blobSizeField) == 0;
        const int64_t expected = isBlobSize ? tail : f.defaultValue;
        if (v != expected) {
            line += std::string(" ") + f.name + "=" + Number(v, std::strstr(f.name, "flags") != nullptr);
            blobSizeSaid = blobSizeSaid || isBlobSize;
        }
    }
    // Compiling the line back must give the fixed part. The data goes behind it as it is and
    // counts only in the record's size and blob size, so those two stand in for it here.
    std::string check = line + " size=" + Number(size, false);
    if (tail && layout.blobSizeField && !blobSizeSaid)
        check += std::string(" ") + layout.blobSizeField + "=" + Number(tail, false);
    try {
        const std::vector<uint8_t> again = CompileLine(Tokenize(check));
        if (again.size() == layout.fixedSize && std::memcmp(again.data(), p, layout.fixedSize) == 0) return line;
    } catch (const SpoolError&) {}
    return {};
}

// Writes n bytes from the source as hex, a piece at a time.
bool HexCopy(const SpoolDumpSource& source, const SpoolDumpSink& sink, uint64_t n)
{
    uint8_t piece[32768];
    while (n > 0) {
        const size_t part = n < sizeof piece ? static_cast<size_t>(n) : sizeof piece;
        if (!source.read(source.context, piece, part)) return false;
        const std::string text = Hex(piece, part);
        if (!sink.write(sink.context, text.data(), text.size())) return false;
        n -= part;
    }
    return true;
}

bool TextWrite(const SpoolDumpSink& sink, const std::string& text)
{
    return sink.write(sink.context, text.data(), text.size());
}

}  // namespace

std::vector<uint8_t> SpoolTextCompile(std::string_view text)
{
    std::vector<uint8_t> out;
    size_t lineNumber = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(start, end - start);
        ++lineNumber;
        try {
            const std::vector<Token> tokens = Tokenize(line);
            if (!tokens.empty()) {
                const std::vector<uint8_t> bytes = CompileLine(tokens);
                out.insert(out.end(), bytes.begin(), bytes.end());
            }
        } catch (const SpoolError& e) {
            throw SpoolError("line " + std::to_string(lineNumber) + ": " + e.what());
        }
        start = end + 1;
    }
    return out;
}

bool SpoolTextDumpStream(const SpoolDumpSource& source, const SpoolDumpSink& sink)
{
    uint64_t pos = 0;
    const uint64_t n = source.size;
    std::vector<uint8_t> head;  // the bytes read of the record so far: its header and fixed part
    while (pos < n) {
        const uint64_t left = n - pos;
        std::string line;
        uint64_t used;
        size_t dataFrom;  // where the record's data starts: the bytes from there on are written as hex
        if (left < kSpoolRecordHeaderSize) {
            line = "bytes";
            used = left;
            dataFrom = 0;
            head.resize(0);
        } else {
            head.resize(kSpoolRecordHeaderSize);
            if (!source.read(source.context, head.data(), head.size())) return false;
            const SpoolRecordHeader h = SpoolRecordHeaderLoad(head.data());
            dataFrom = kSpoolRecordHeaderSize;
            if (h.size < kSpoolRecordHeaderSize) {
                used = kSpoolRecordHeaderSize;
                line = RawLine(h, used);
            } else if (h.size > left) {
                used = left;
                line = RawLine(h, used);
            } else {
                used = h.size;
                const SpoolRecordLayout* layout = SpoolLayoutFind(h.type, h.version);
                if (layout && h.size >= layout->fixedSize) {
                    head.resize(layout->fixedSize);
                    if (!source.read(source.context, head.data() + kSpoolRecordHeaderSize,
                                     layout->fixedSize - kSpoolRecordHeaderSize))
                        return false;
                    line = NamedLine(*layout, head.data(), h.size);
                    if (!line.empty()) dataFrom = layout->fixedSize;
                }
                if (line.empty()) line = RawLine(h, used);
            }
        }
        if (used > dataFrom) {
            line += " data=" + Hex(head.data() + dataFrom, head.size() - dataFrom);
            if (!TextWrite(sink, line) || !HexCopy(source, sink, used - head.size())) return false;
        } else if (!TextWrite(sink, line)) {
            return false;
        }
        char where[40];
        std::snprintf(where, sizeof where, "  # @%llu\n", static_cast<unsigned long long>(pos));
        if (!TextWrite(sink, where)) return false;
        pos += used;
    }
    return true;
}

std::string SpoolTextDump(const std::vector<uint8_t>& bytes)
{
    struct Reading {
        const std::vector<uint8_t>& bytes;
        size_t at;
    } reading{bytes, 0};
    std::string out;
    const SpoolDumpSource source{&reading,
                                 [](void* context, uint8_t* to, size_t n) {
                                     auto* r = static_cast<Reading*>(context);
                                     std::memcpy(to, r->bytes.data() + r->at, n);
                                     r->at += n;
                                     return true;
                                 },
                                 bytes.size()};
    const SpoolDumpSink sink{&out, [](void* context, const char* text, size_t n) {
                                 static_cast<std::string*>(context)->append(text, n);
                                 return true;
                             }};
    SpoolTextDumpStream(source, sink);
    return out;
}
