#include "tools/faxview/fax_page_image.h"

#include "tools/common/tool_output.h"

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

extern "C" {
#include <jbig.h>
}
#include <png.h>

namespace {

struct DecoderState {
    jbg_dec_state state{};
    DecoderState() { jbg_dec_init(&state); }
    ~DecoderState() { jbg_dec_free(&state); }
    DecoderState(const DecoderState&) = delete;
    DecoderState& operator=(const DecoderState&) = delete;
};

}  // namespace

bool FaxBieDecode(std::span<const uint8_t> data, std::vector<FaxBitmap>* images, std::string* error, uint32_t maxWidth,
                  uint32_t maxHeight)
{
    images->clear();
    size_t pos = 0;
    while (pos < data.size()) {
        // jbigkit allocates the whole image from the header's size, so that size is checked
        // first: the header is 20 bytes with the width and height big-endian at 4 and 8.
        const std::string which = "image " + std::to_string(images->size() + 1);
        if (data.size() - pos < 20) {
            *error = which + " ends early";
            return false;
        }
        const uint8_t* header = data.data() + pos;
        const auto big32 = [](const uint8_t* p) {
            return static_cast<uint64_t>(p[0]) << 24 | static_cast<uint64_t>(p[1]) << 16 |
                   static_cast<uint64_t>(p[2]) << 8 | p[3];
        };
        const uint64_t width = big32(header + 4), height = big32(header + 8);
        if (width > maxWidth || height > maxHeight) {
            *error = which + " is " + std::to_string(width) + " x " + std::to_string(height) +
                     " pixels, larger than this viewer takes (" + std::to_string(maxWidth) + " x " +
                     std::to_string(maxHeight) + ")";
            return false;
        }
        DecoderState decoder;
        size_t used = 0;
        // jbigkit does not write through the pointer; its interface just is not const.
        const int result =
            jbg_dec_in(&decoder.state, const_cast<unsigned char*>(data.data() + pos), data.size() - pos, &used);
        if (result == JBG_EAGAIN) {
            *error = which + " ends early";
            return false;
        }
        if (result != JBG_EOK) {
            *error = which + ": " + jbg_strerror(result);
            return false;
        }
        if (jbg_dec_getplanes(&decoder.state) != 1) {
            *error = which + " is not bi-level";
            return false;
        }
        FaxBitmap image;
        image.width = static_cast<uint32_t>(jbg_dec_getwidth(&decoder.state));
        image.height = static_cast<uint32_t>(jbg_dec_getheight(&decoder.state));
        const unsigned char* pixels = jbg_dec_getimage(&decoder.state, 0);
        image.rows.assign(pixels, pixels + jbg_dec_getsize(&decoder.state));
        images->push_back(std::move(image));
        pos += used == 0 ? data.size() - pos : used;
    }
    return true;
}

namespace {

bool Finish(ToolOutput* out, std::string* error, std::vector<ToolOutput>* pending)
{
    if (pending == nullptr) return ToolOutputCommit(out, error);
    if (!ToolOutputClose(out, error)) return false;
    pending->push_back(*out);
    return true;
}

}  // namespace

// Both writers go through a file beside the image that is renamed into place when complete, so a
// failed write (a full disk) leaves no partial image.
bool FaxWritePbm(const FaxBitmap& image, const std::string& path, std::string* error, int inputFd,
                 std::vector<ToolOutput>* pending)
{
    ToolOutput out;
    if (!ToolOutputOpen(path, inputFd, &out, error)) return false;
    std::fprintf(out.file, "P4\n%u %u\n", image.width, image.height);
    if (std::fwrite(image.rows.data(), 1, image.rows.size(), out.file) != image.rows.size()) {
        *error = "writing " + path + " failed: " + std::strerror(errno);
        ToolOutputDiscard(&out);
        return false;
    }
    return Finish(&out, error, pending);
}

bool FaxWritePng(const FaxBitmap& image, const std::string& path, std::string* error, int inputFd,
                 std::vector<ToolOutput>* pending)
{
    ToolOutput out;
    if (!ToolOutputOpen(path, inputFd, &out, error)) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (png == nullptr || info == nullptr) {
        png_destroy_write_struct(&png, &info);
        ToolOutputDiscard(&out);
        *error = "libpng could not start writing " + path;
        return false;
    }
    const size_t stride = (static_cast<size_t>(image.width) + 7) / 8;
    std::vector<uint8_t> row(stride);
    // libpng reports failures by a long jump back here; only this frame's locals, which the jump
    // leaves alive and which are not changed after this point, are used afterwards.
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        ToolOutputDiscard(&out);
        *error = "libpng failed writing " + path;
        return false;
    }
    png_init_io(png, out.file);
    png_set_IHDR(png, info, image.width, image.height, 1, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (uint32_t y = 0; y < image.height; ++y) {
        // JBIG has 1 for black; a gray PNG has 0 for black.
        for (size_t i = 0; i < stride; ++i) row[i] = static_cast<uint8_t>(~image.rows[y * stride + i]);
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return Finish(&out, error, pending);
}
