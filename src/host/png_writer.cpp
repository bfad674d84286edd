#include "host/png_writer.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

namespace host {
namespace {

struct PngErrorState {
    char message[200];
};

void OnPngError(png_structp png, png_const_charp msg) {
    auto* st = static_cast<PngErrorState*>(png_get_error_ptr(png));
    std::snprintf(st->message, sizeof(st->message), "%s", msg);
    png_longjmp(png, 1);
}
void OnPngWarning(png_structp, png_const_charp) {}

}  // namespace

bool WritePng(const std::string& path, const unsigned char* pixels, int width, int height, int channels,
              bool dropAlpha, Error* error) {
    if (!pixels || width <= 0 || height <= 0 || (channels != 3 && channels != 4) || width > 1 << 16 ||
        height > 1 << 16) {
        return error->Set("PNG: invalid image %dx%dx%d", width, height, channels);
    }
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return error->Set("cannot write the frame to %s: %s", path.c_str(), std::strerror(errno));

    PngErrorState st{};
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &st, OnPngError, OnPngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        std::remove(path.c_str());
        return error->Set("PNG: out of memory writing %s", path.c_str());
    }
    const bool rgbaOut = channels == 4 && !dropAlpha;
    // Rows are converted before the jump point so nothing allocated after it can leak.
    std::vector<unsigned char> row(size_t(width) * (rgbaOut ? 4 : 3));
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        std::remove(path.c_str());
        return error->Set("cannot write the frame to %s: %s", path.c_str(), st.message);
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8,
                 rgbaOut ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // Fast compression: frames are written often during a run.
    png_set_compression_level(png, 3);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) {
        const unsigned char* src = pixels + size_t(y) * size_t(width) * size_t(channels);
        if (channels == 4 && !rgbaOut) {
            for (int x = 0; x < width; ++x) {
                row[size_t(x) * 3 + 0] = src[size_t(x) * 4 + 0];
                row[size_t(x) * 3 + 1] = src[size_t(x) * 4 + 1];
                row[size_t(x) * 3 + 2] = src[size_t(x) * 4 + 2];
            }
            png_write_row(png, row.data());
        } else {
            png_write_row(png, const_cast<png_bytep>(src));
        }
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (std::fclose(f) != 0) {
        std::remove(path.c_str());
        return error->Set("cannot write the frame to %s: %s", path.c_str(), std::strerror(errno));
    }
    return true;
}

}  // namespace host
