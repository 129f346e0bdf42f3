#include "tests/support/jbig_oracle.h"

#include <dlfcn.h>
#include <jbig.h>

#include <cstring>
#include <string>

namespace {

struct Jbigkit {
    void (*encInit)(jbg_enc_state*, unsigned long, unsigned long, int, unsigned char**,
                    void (*)(unsigned char*, size_t, void*), void*);
    void (*encOptions)(jbg_enc_state*, int, int, unsigned long, int, int);
    void (*encOut)(jbg_enc_state*);
    void (*encFree)(jbg_enc_state*);
    void (*decInit)(jbg_dec_state*);
    void (*decMaxsize)(jbg_dec_state*, unsigned long, unsigned long);
    int (*decIn)(jbg_dec_state*, unsigned char*, size_t, size_t*);
    unsigned long (*decWidth)(const jbg_dec_state*);
    unsigned long (*decHeight)(const jbg_dec_state*);
    unsigned char* (*decImage)(const jbg_dec_state*, int);
    void (*decFree)(jbg_dec_state*);
    bool loaded = false;
};

const Jbigkit& Library()
{
    static const Jbigkit library = [] {
        Jbigkit k{};
        void* handle = dlopen("libjbig.so.0", RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            handle = dlopen("libjbig.so", RTLD_NOW | RTLD_LOCAL);
        }
        if (handle == nullptr) {
            return k;
        }
        auto bind = [&](auto& field, const char* name) {
            field = reinterpret_cast<std::remove_reference_t<decltype(field)>>(dlsym(handle, name));
            return field != nullptr;
        };
        k.loaded = bind(k.encInit, "jbg_enc_init") && bind(k.encOptions, "jbg_enc_options") &&
                   bind(k.encOut, "jbg_enc_out") && bind(k.encFree, "jbg_enc_free") &&
                   bind(k.decInit, "jbg_dec_init") && bind(k.decMaxsize, "jbg_dec_maxsize") &&
                   bind(k.decIn, "jbg_dec_in") && bind(k.decWidth, "jbg_dec_getwidth") &&
                   bind(k.decHeight, "jbg_dec_getheight") && bind(k.decImage, "jbg_dec_getimage") &&
                   bind(k.decFree, "jbg_dec_free");
        return k;
    }();
    return library;
}

void AppendBytes(unsigned char* start, size_t length, void* target)
{
    auto* out = static_cast<std::vector<uint8_t>*>(target);
    out->insert(out->end(), start, start + length);
}

}  // namespace

bool JbigkitAvailable() { return Library().loaded; }

bool JbigkitDecode(std::span<const uint8_t> bie, JbigImage& image)
{
    const Jbigkit& k = Library();
    if (!k.loaded) {
        return false;
    }
    jbg_dec_state state;
    k.decInit(&state);
    k.decMaxsize(&state, 1u << 16, 1u << 16);
    std::vector<uint8_t> copy(bie.begin(), bie.end());
    size_t used = 0;
    const int result = k.decIn(&state, copy.data(), copy.size(), &used);
    bool ok = result == JBG_EOK;
    if (ok) {
        image.width = static_cast<uint32_t>(k.decWidth(&state));
        image.height = static_cast<uint32_t>(k.decHeight(&state));
        const size_t bytes = size_t{(image.width + 7) / 8} * image.height;
        const unsigned char* bits = k.decImage(&state, 0);
        image.rows.assign(bits, bits + bytes);
    }
    k.decFree(&state);
    return ok;
}

namespace {

// The rows handed to jbigkit's encoder, with a white row after them: the fuzz target saw
// jbigkit's encoder crash now and then on small images in a way that depended on the memory
// after the rows, so what lies there is made ours and white.
std::vector<uint8_t> PaddedRows(const JbigImage& image)
{
    std::vector<uint8_t> rows = image.rows;
    rows.resize(rows.size() + (image.width + 7) / 8 + 16, 0);
    return rows;
}

}  // namespace

std::vector<uint8_t> JbigkitEncode(const JbigImage& image, uint32_t linesPerStripe, bool typicalPrediction)
{
    const Jbigkit& k = Library();
    std::vector<uint8_t> out;
    if (!k.loaded) {
        return out;
    }
    std::vector<uint8_t> rows = PaddedRows(image);
    unsigned char* planes[1] = {rows.data()};
    jbg_enc_state state;
    k.encInit(&state, image.width, image.height, 1, planes, AppendBytes, &out);
    k.encOptions(&state, JBG_ILEAVE | JBG_SMID, JBG_LRLTWO | (typicalPrediction ? JBG_TPBON : 0), linesPerStripe, 0, 0);
    k.encOut(&state);
    k.encFree(&state);
    return out;
}

namespace {

void CountBytes(unsigned char*, size_t length, void* total) { *static_cast<size_t*>(total) += length; }

}  // namespace

size_t JbigkitEncodeCount(const JbigImage& image, uint32_t linesPerStripe, bool typicalPrediction)
{
    const Jbigkit& k = Library();
    size_t total = 0;
    if (!k.loaded) {
        return 0;
    }
    std::vector<uint8_t> rows = PaddedRows(image);
    unsigned char* planes[1] = {rows.data()};
    jbg_enc_state state;
    k.encInit(&state, image.width, image.height, 1, planes, CountBytes, &total);
    k.encOptions(&state, JBG_ILEAVE | JBG_SMID, JBG_LRLTWO | (typicalPrediction ? JBG_TPBON : 0), linesPerStripe, 0, 0);
    k.encOut(&state);
    k.encFree(&state);
    return total;
}

std::vector<uint8_t> JbigNormalizeStripeEnds(std::span<const uint8_t> bie)
{
    std::vector<uint8_t> out;
    const size_t header = bie.size() < 20 ? bie.size() : 20;
    out.assign(bie.begin(), bie.begin() + header);
    for (size_t i = header; i < bie.size(); ++i) {
        if (bie[i] == 0xFF && i + 1 < bie.size()) {
            if (bie[i + 1] == 0x02) {
                while (out.size() > header && out.back() == 0x00 &&
                       !(out.size() >= header + 2 && out[out.size() - 2] == 0xFF)) {
                    out.pop_back();
                }
            }
            out.push_back(bie[i]);
            out.push_back(bie[i + 1]);
            ++i;
            continue;
        }
        out.push_back(bie[i]);
    }
    return out;
}

std::vector<uint8_t> PbmWrite(const JbigImage& image)
{
    const std::string head = "P4\n" + std::to_string(image.width) + " " + std::to_string(image.height) + "\n";
    std::vector<uint8_t> out(head.begin(), head.end());
    out.insert(out.end(), image.rows.begin(), image.rows.end());
    return out;
}
