// LZW as the spool stream's bitmaps use it: codes read most significant bit first, 256 clear,
// 257 end, 9 to 12 bits wide. The whole state lives in the caller's block, so that a run can
// stop when the output is full and go on in the next call.
#include <algorithm>
#include <cstring>

#include "engine/display/stores/bitmap_decode.h"

namespace {

constexpr uint32_t kClear = 256;
constexpr uint32_t kEnd = 257;
constexpr uint32_t kFirst = 258;
constexpr uint32_t kExhausted = 0xFFFF;
constexpr uint32_t kNone = 0xFFFFFFFF;
constexpr uint32_t kMaxWidth = 12;
constexpr uint32_t kInput = 256;
constexpr uint32_t kOverflow = 3880;  // longer than the longest string 4096 codes can make

struct LzwString {
    uint16_t prefix;
    uint16_t length;
    uint8_t last;
};

struct LzwDecoder {
    uint32_t previous;  // kNone right after a clear
    uint8_t previousFirst;  // first byte of the previous string
    uint32_t nextCode;
    uint32_t width;
    uint32_t early;
    uint32_t threshold;
    uint32_t highest;
    uint32_t ended;  // an end code was read
    uint32_t exhausted;
    uint64_t bits;
    uint32_t bitCount;
    uint32_t inputPos;
    uint32_t inputLength;
    uint32_t overflowPos;
    uint32_t overflowLength;
    LzwString strings[4096];
    uint8_t overflow[kOverflow];
    uint8_t input[kInput];
};

void Reset(LzwDecoder* s)
{
    s->previous = kNone;
    s->nextCode = kFirst;
    s->width = 9;
    s->threshold = 512 - s->early;
}

uint32_t ReadCode(LzwDecoder* s, LzwReadFn read, void* argument)
{
    while (s->bitCount < s->width) {
        if (s->inputPos == s->inputLength) {
            if (s->exhausted) return kExhausted;
            s->inputLength = read(s->input, kInput, argument);
            s->inputPos = 0;
            if (s->inputLength == 0 || s->inputLength > kInput) {
                s->inputLength = 0;
                s->exhausted = 1;
                return kExhausted;
            }
        }
        s->bits = (s->bits << 8) | s->input[s->inputPos++];
        s->bitCount += 8;
    }
    s->bitCount -= s->width;
    return static_cast<uint32_t>(s->bits >> s->bitCount) & ((1u << s->width) - 1);
}

// Writes the string of code into the overflow buffer (backwards, from its last byte); its length.
uint32_t Spell(LzwDecoder* s, uint32_t code)
{
    if (code < 256) {
        s->overflow[0] = static_cast<uint8_t>(code);
        return 1;
    }
    const uint32_t length = s->strings[code].length;
    uint32_t at = length;
    while (code >= 256 && at > 1) {
        s->overflow[--at] = s->strings[code].last;
        code = s->strings[code].prefix;
    }
    s->overflow[0] = static_cast<uint8_t>(code);
    return length;
}

}  // namespace

size_t LzwStateSize() { return sizeof(LzwDecoder); }

int32_t LzwDecode(LzwReadFn read, void* argument, uint8_t* output, uint32_t outputSize, void* state, uint32_t stateSize,
                  uint32_t flags, uint32_t* produced)
{
    uint32_t written = 0;
    if (produced) *produced = 0;
    if (state == nullptr || stateSize < sizeof(LzwDecoder)) return LZW_STATE_SMALL;
    auto* s = static_cast<LzwDecoder*>(state);
    const bool oneShot = (flags & LZW_ONE_SHOT) != 0;
    if ((flags & LZW_CONTINUE) == 0) {
        std::memset(s, 0, offsetof(LzwDecoder, strings));
        s->early = flags & LZW_EARLY_CHANGE;
        s->highest = 4095 - s->early;
        Reset(s);
    }
    auto done = [&](int32_t result) {
        if (produced) *produced = written;
        return result;
    };
    auto give = [&]() {  // moves what the overflow holds into the output
        const uint32_t n = std::min(s->overflowLength - s->overflowPos, outputSize - written);
        std::memcpy(output + written, s->overflow + s->overflowPos, n);
        written += n;
        s->overflowPos += n;
        if (oneShot) s->overflowPos = s->overflowLength;  // nothing is written past the output
    };
    give();
    while (true) {
        if (written == outputSize) return done(oneShot ? static_cast<int32_t>(written) : LZW_OUTPUT_FULL);
        if (s->ended) return done(LZW_END_CODE);
        uint32_t code = ReadCode(s, read, argument);
        if (code == kExhausted) return done(static_cast<int32_t>(written));
        if (code == kEnd) {
            s->ended = 1;
            return done(LZW_END_CODE);
        }
        if (code == kClear) {
            Reset(s);
            code = ReadCode(s, read, argument);
            if (code == kEnd) {
                s->ended = 1;
                return done(0);
            }
            if (code >= kFirst || code == kClear) return done(LZW_BAD_CODE);
            s->overflow[0] = static_cast<uint8_t>(code);
            s->overflowPos = 0;
            s->overflowLength = 1;
            s->previous = code;
            s->previousFirst = static_cast<uint8_t>(code);
            give();
            continue;
        }
        uint32_t length;
        if (code < 256 || (code >= kFirst && code < s->nextCode)) {
            length = Spell(s, code);
        } else if (code == s->nextCode && s->previous != kNone) {
            length = Spell(s, s->previous) + 1;
            s->overflow[length - 1] = s->previousFirst;
        } else {
            return done(LZW_BAD_CODE);  // a code not yet defined
        }
        if (s->previous != kNone && s->nextCode <= s->highest) {
            LzwString& entry = s->strings[s->nextCode];
            entry.prefix = static_cast<uint16_t>(s->previous);
            entry.last = s->overflow[0];
            entry.length = static_cast<uint16_t>((s->previous < 256 ? 1 : s->strings[s->previous].length) + 1);
            ++s->nextCode;
            if (s->nextCode == s->threshold && s->width < kMaxWidth) {
                ++s->width;
                s->threshold = (1u << s->width) - s->early;
            }
        }
        s->previous = code;
        s->previousFirst = s->overflow[0];
        s->overflowPos = 0;
        s->overflowLength = length;
        give();
    }
}
