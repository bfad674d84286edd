#include "host/png_writer.h"

#include <png.h>
#include <unistd.h>

#include <csignal>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

namespace host {
namespace {

struct PngErrorState {
    char message[200];
    std::FILE* file = nullptr;
    int writeErrno = 0;  // why the file refused a write (libpng's own message says only "Write Error")
};

void OnPngError(png_structp png, png_const_charp msg) {
    auto* st = static_cast<PngErrorState*>(png_get_error_ptr(png));
    std::snprintf(st->message, sizeof(st->message), "%s",
                  st->writeErrno != 0 ? std::strerror(st->writeErrno) : msg);
    png_longjmp(png, 1);
}
void OnPngWarning(png_structp, png_const_charp) {}

// libpng's writes, to the file, keeping the system's reason when one fails.
void WriteToFile(png_structp png, png_bytep data, png_size_t length) {
    auto* st = static_cast<PngErrorState*>(png_get_io_ptr(png));
    errno = 0;
    if (std::fwrite(data, 1, length, st->file) != length) {
        st->writeErrno = errno != 0 ? errno : EIO;
        png_error(png, "Write Error");
    }
}
void FlushFile(png_structp png) {
    auto* st = static_cast<PngErrorState*>(png_get_io_ptr(png));
    errno = 0;
    if (std::fflush(st->file) != 0) {
        st->writeErrno = errno != 0 ? errno : EIO;
        png_error(png, "Write Error");
    }
}

// The temporary file being written, for a signal handler to remove; empty when none.
char g_inProgress[4096];
volatile sig_atomic_t g_inProgressSet = 0;

void SetInProgress(const std::string& tmp) {
    g_inProgressSet = 0;
    if (tmp.size() >= sizeof g_inProgress) return;  // too long to remember: left behind if killed
    std::memcpy(g_inProgress, tmp.c_str(), tmp.size() + 1);
    g_inProgressSet = 1;
}

// Closes (when open) and removes the temporary file, and forgets it.
void Abandon(std::FILE* f, const std::string& tmp) {
    if (f) std::fclose(f);
    g_inProgressSet = 0;
    std::remove(tmp.c_str());
}

}  // namespace

std::string PngTempName(const std::string& path) {
    return path + ".tmp";
}

void RemovePngInProgress() {
    if (g_inProgressSet) {
        const int savedErrno = errno;
        ::unlink(g_inProgress);
        errno = savedErrno;
    }
}

bool WritePng(const std::string& path, const unsigned char* pixels, int width, int height, int channels,
              bool dropAlpha, Error* error) {
    if (!pixels || width <= 0 || height <= 0 || (channels != 3 && channels != 4) || width > 1 << 16 ||
        height > 1 << 16) {
        return error->Set("PNG: invalid image %dx%dx%d", width, height, channels);
    }
    // Written under a temporary name in the same folder and renamed when whole: a run killed meanwhile
    // leaves no cut PNG.
    const std::string tmp = PngTempName(path);
    SetInProgress(tmp);
    std::FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f) {
        const int e = errno;
        g_inProgressSet = 0;
        return error->Set("cannot write the frame to '%s': %s", path.c_str(), std::strerror(e));
    }

    PngErrorState st{};
    st.file = f;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &st, OnPngError, OnPngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, &info);
        Abandon(f, tmp);
        return error->Set("PNG: out of memory writing %s", path.c_str());
    }
    const bool rgbaOut = channels == 4 && !dropAlpha;
    // Rows are converted before the jump point so nothing allocated after it can leak.
    std::vector<unsigned char> row(size_t(width) * (rgbaOut ? 4 : 3));
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        Abandon(f, tmp);
        return error->Set("cannot write the frame to '%s': %s", path.c_str(), st.message);
    }
    png_set_write_fn(png, &st, WriteToFile, FlushFile);
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
    if (std::fflush(f) != 0 || std::ferror(f)) {
        const int e = errno ? errno : EIO;
        Abandon(f, tmp);
        return error->Set("cannot write the frame to '%s': %s", path.c_str(), std::strerror(e));
    }
    if (std::fclose(f) != 0) {
        const int e = errno;
        Abandon(nullptr, tmp);
        return error->Set("cannot write the frame to '%s': %s", path.c_str(), std::strerror(e));
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        const int e = errno;
        Abandon(nullptr, tmp);
        return error->Set("cannot write the frame to '%s': %s", path.c_str(), std::strerror(e));
    }
    g_inProgressSet = 0;
    return true;
}

}  // namespace host
