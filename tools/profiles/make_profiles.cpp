// Makes the engine's built-in profile "Profiles" 101: the sRGB display profile of IEC 61966-2.1
// as an ICC 2.1 profile of 17 tags and 3,144 bytes, every value computed here from the
// standard's definitions (primaries, D65 white, transfer function, reference display and viewing
// conditions), adapted to the D50 connection space with the Bradford transform.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

uint32_t Sig(const char* text)
{
    return (uint32_t(uint8_t(text[0])) << 24) | (uint32_t(uint8_t(text[1])) << 16) | (uint32_t(uint8_t(text[2])) << 8) |
           uint32_t(uint8_t(text[3]));
}

void Put8(Bytes& b, uint32_t v) { b.push_back(static_cast<uint8_t>(v)); }
void Put16(Bytes& b, uint32_t v)
{
    Put8(b, v >> 8);
    Put8(b, v);
}
void Put32(Bytes& b, uint32_t v)
{
    Put16(b, v >> 16);
    Put16(b, v);
}
void PutFixed(Bytes& b, double v) { Put32(b, static_cast<uint32_t>(static_cast<int32_t>(std::lround(v * 65536.0)))); }
void PutXyzNumber(Bytes& b, const double* xyz)
{
    for (int i = 0; i < 3; ++i) PutFixed(b, xyz[i]);
}
void Pad(Bytes& b)
{
    while (b.size() % 4 != 0) Put8(b, 0);
}

struct Matrix {
    double m[3][3];
};

Matrix Multiply(const Matrix& a, const Matrix& b)
{
    Matrix r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) r.m[i][j] += a.m[i][k] * b.m[k][j];
    return r;
}

Matrix Inverse(const Matrix& a)
{
    const auto& m = a.m;
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    Matrix r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            const int i1 = (j + 1) % 3, i2 = (j + 2) % 3, j1 = (i + 1) % 3, j2 = (i + 2) % 3;
            r.m[i][j] = (m[i1][j1] * m[i2][j2] - m[i1][j2] * m[i2][j1]) / det;
        }
    return r;
}

void Apply(const Matrix& a, const double* v, double* out)
{
    for (int i = 0; i < 3; ++i) out[i] = a.m[i][0] * v[0] + a.m[i][1] * v[1] + a.m[i][2] * v[2];
}

void XyzOfChromaticity(double x, double y, double* xyz)
{
    xyz[0] = x / y;
    xyz[1] = 1.0;
    xyz[2] = (1.0 - x - y) / y;
}

// IEC 61966-2.1: the linear segment below 0.04045, the 2.4 power above.
double Decode(double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); }

Bytes TextTag(const std::string& text)
{
    Bytes b;
    Put32(b, Sig("text"));
    Put32(b, 0);
    for (char c : text) Put8(b, static_cast<uint8_t>(c));
    Put8(b, 0);
    return b;
}

Bytes DescTag(const std::string& text)
{
    Bytes b;
    Put32(b, Sig("desc"));
    Put32(b, 0);
    Put32(b, static_cast<uint32_t>(text.size() + 1));
    for (char c : text) Put8(b, static_cast<uint8_t>(c));
    Put8(b, 0);
    Put32(b, 0);  // no Unicode text
    Put32(b, 0);
    Put16(b, 0);  // no ScriptCode text
    Put8(b, 0);
    for (int i = 0; i < 67; ++i) Put8(b, 0);
    return b;
}

Bytes XyzTag(const double* xyz)
{
    Bytes b;
    Put32(b, Sig("XYZ "));
    Put32(b, 0);
    PutXyzNumber(b, xyz);
    return b;
}

Bytes Profile()
{
    // sRGB primaries and white, and the D50 white of the connection space.
    const double primaries[3][2] = {{0.64, 0.33}, {0.30, 0.60}, {0.15, 0.06}};
    double d65[3], d50[3] = {0.9642, 1.0, 0.8249};
    XyzOfChromaticity(0.3127, 0.3290, d65);
    Matrix rgb{};
    double columns[3][3];
    for (int c = 0; c < 3; ++c) XyzOfChromaticity(primaries[c][0], primaries[c][1], columns[c]);
    Matrix p{};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) p.m[r][c] = columns[c][r];
    double scale[3];
    Apply(Inverse(p), d65, scale);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) rgb.m[r][c] = p.m[r][c] * scale[c];
    // Bradford adaptation from D65 to D50.
    const Matrix bradford{{{0.8951, 0.2664, -0.1614}, {-0.7502, 1.7135, 0.0367}, {0.0389, -0.0685, 1.0296}}};
    double cone65[3], cone50[3];
    Apply(bradford, d65, cone65);
    Apply(bradford, d50, cone50);
    Matrix gain{};
    for (int i = 0; i < 3; ++i) gain.m[i][i] = cone50[i] / cone65[i];
    const Matrix adapted = Multiply(Multiply(Multiply(Inverse(bradford), gain), bradford), rgb);
    double colorants[3][3];
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 3; ++r) colorants[c][r] = adapted.m[r][c];

    // Reference display: 80 cd/m2 at D65; reference viewing: 64 lux of D50 ambient light
    // (64 / pi cd/m2) in a surround of 20 % reflectance; 1 % viewing flare.
    const double luminance[3] = {80.0 * d65[0], 80.0, 80.0 * d65[2]};
    const double ambient = 64.0 / M_PI;
    const double illuminant[3] = {ambient * d50[0], ambient, ambient * d50[2]};
    const double surround[3] = {illuminant[0] * 0.2, illuminant[1] * 0.2, illuminant[2] * 0.2};
    const double black[3] = {0, 0, 0};

    Bytes view;
    Put32(view, Sig("view"));
    Put32(view, 0);
    PutXyzNumber(view, illuminant);
    PutXyzNumber(view, surround);
    Put32(view, 1);  // D50
    Bytes meas;
    Put32(meas, Sig("meas"));
    Put32(meas, 0);
    Put32(meas, 1);  // CIE 1931 standard observer
    PutXyzNumber(meas, black);
    Put32(meas, 0);  // geometry unknown
    Put32(meas, static_cast<uint32_t>(std::lround(0.01 * 65536)));
    Put32(meas, 2);  // D65
    Bytes tech;
    Put32(tech, Sig("sig "));
    Put32(tech, 0);
    Put32(tech, Sig("CRT "));
    Bytes curve;
    Put32(curve, Sig("curv"));
    Put32(curve, 0);
    Put32(curve, 1024);
    for (int i = 0; i < 1024; ++i) Put16(curve, static_cast<uint32_t>(std::lround(Decode(i / 1023.0) * 65535.0)));

    struct Tag {
        const char* signature;
        Bytes data;
        int sharesWith;  // index of the tag whose data this one uses, or -1
    };
    const std::vector<Tag> tags = {
        {"cprt", TextTag("Computed from the formulas of IEC 61966-2.1"), -1},
        {"desc", DescTag("sRGB IEC61966-2.1"), -1},
        {"wtpt", XyzTag(d65), -1},
        {"bkpt", XyzTag(black), -1},
        {"rXYZ", XyzTag(colorants[0]), -1},
        {"gXYZ", XyzTag(colorants[1]), -1},
        {"bXYZ", XyzTag(colorants[2]), -1},
        {"dmnd", DescTag("IEC 61966-2.1 reference"), -1},
        {"dmdd", DescTag("sRGB: the default RGB colour space, IEC"), -1},
        {"vued", DescTag("Reference viewing conditions, IEC 61966-2.1"), -1},
        {"view", view, -1},
        {"lumi", XyzTag(luminance), -1},
        {"meas", meas, -1},
        {"tech", tech, -1},
        {"rTRC", curve, -1},
        {"gTRC", {}, 14},
        {"bTRC", {}, 14},
    };

    Bytes data;
    std::vector<uint32_t> offsets(tags.size()), sizes(tags.size());
    const uint32_t dataStart = 128 + 4 + 12 * static_cast<uint32_t>(tags.size());
    for (size_t i = 0; i < tags.size(); ++i) {
        if (tags[i].sharesWith >= 0) {
            offsets[i] = offsets[tags[i].sharesWith];
            sizes[i] = sizes[tags[i].sharesWith];
            continue;
        }
        offsets[i] = dataStart + static_cast<uint32_t>(data.size());
        sizes[i] = static_cast<uint32_t>(tags[i].data.size());
        data.insert(data.end(), tags[i].data.begin(), tags[i].data.end());
        Pad(data);
    }
    // The last tag's padding is not part of the profile.
    const uint32_t size = offsets[14] + sizes[14];
    data.resize(size - dataStart);

    Bytes b;
    Put32(b, size);
    Put32(b, 0);  // no preferred CMM
    Put32(b, 0x02100000);  // version 2.1.0
    Put32(b, Sig("mntr"));
    Put32(b, Sig("RGB "));
    Put32(b, Sig("XYZ "));
    const uint32_t date[6] = {2026, 1, 1, 0, 0, 0};
    for (uint32_t v : date) Put16(b, v);
    Put32(b, Sig("acsp"));
    Put32(b, 0);  // no primary platform
    Put32(b, 0);  // flags
    Put32(b, Sig("IEC "));
    Put32(b, Sig("sRGB"));
    Put32(b, 0);
    Put32(b, 0);  // attributes
    Put32(b, 0);  // perceptual
    PutXyzNumber(b, d50);
    Put32(b, 0);  // creator
    while (b.size() < 128) Put8(b, 0);
    Put32(b, static_cast<uint32_t>(tags.size()));
    for (size_t i = 0; i < tags.size(); ++i) {
        Put32(b, Sig(tags[i].signature));
        Put32(b, offsets[i]);
        Put32(b, sizes[i]);
    }
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_profiles <output.cpp>\n");
        return 2;
    }
    const Bytes profile = Profile();
    if (profile.size() != 3144) {
        std::fprintf(stderr, "make_profiles: the profile came out %zu bytes, not 3144\n", profile.size());
        return 1;
    }
    std::FILE* out = std::fopen(argv[1], "w");
    if (out == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    std::fprintf(out,
                 "// The engine's built-in sRGB profile, made by tools/profiles/make_profiles; do not edit.\n"
                 "#include \"platform/resources.h\"\n\nnamespace {\n");
    std::fprintf(out, "\nalignas(4) const unsigned char kProfile101[%zu] = {", profile.size());
    for (size_t i = 0; i < profile.size(); ++i) std::fprintf(out, "%s%u,", i % 20 == 0 ? "\n    " : "", profile[i]);
    std::fprintf(out,
                 "\n};\n\n}  // namespace\n\n"
                 "FAX_RESOURCE_TABLE(RastrelProfiles,\n"
                 "    {FaxResourceKey(\"Profiles\"), FaxResourceKey(101), kProfile101, sizeof kProfile101});\n");
    return std::fclose(out) == 0 ? 0 : 1;
}
