// The game's and the console stand-in's output to stdout and stderr, held in order with the geometry
// stage: the qz program is linked with these in place of the C library's calls (the linker's --wrap), so
// that a line a VIF, VU1 program, GIF or GS prints on the stage's threads lands where it would have
// landed had everything run inline, and a line the game prints waits for the work it sent before. Text
// to other files goes straight through.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "console/stage/dma_stage.h"

extern "C" {
size_t __real_fwrite(const void* data, size_t size, size_t count, FILE* stream);
int __real_vfprintf(FILE* stream, const char* format, va_list args);
int __real_fputs(const char* text, FILE* stream);
int __real_fputc(int c, FILE* stream);
int __real_putc(int c, FILE* stream);
int __real_puts(const char* text);
int __real_putchar(int c);
}

namespace {

int StreamOf(FILE* f) {
    return f == stdout ? 1 : f == stderr ? 2 : 0;
}

// True when the stage took the text (it prints it in its place).
bool Queued(FILE* f, const char* text, size_t len) {
    const int stream = StreamOf(f);
    return stream != 0 && console::dma::StageOrderOutput(stream, text, len);
}

int Formatted(FILE* f, const char* format, va_list args) {
    if (StreamOf(f) == 0) return __real_vfprintf(f, format, args);
    char small[512];
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(small, sizeof small, format, args);
    if (n < 0) {
        va_end(again);
        return n;
    }
    char* text = small;
    if (size_t(n) >= sizeof small) {
        text = static_cast<char*>(std::malloc(size_t(n) + 1));
        if (!text) {
            va_end(again);
            return -1;
        }
        std::vsnprintf(text, size_t(n) + 1, format, again);
    }
    va_end(again);
    if (!Queued(f, text, size_t(n))) __real_fwrite(text, 1, size_t(n), f);
    if (text != small) std::free(text);
    return n;
}

}  // namespace

extern "C" {

int __wrap_vfprintf(FILE* f, const char* format, va_list args) {
    return Formatted(f, format, args);
}

int __wrap_vprintf(const char* format, va_list args) {
    return Formatted(stdout, format, args);
}

int __wrap_fprintf(FILE* f, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = Formatted(f, format, args);
    va_end(args);
    return n;
}

int __wrap_printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = Formatted(stdout, format, args);
    va_end(args);
    return n;
}

size_t __wrap_fwrite(const void* data, size_t size, size_t count, FILE* f) {
    if (Queued(f, static_cast<const char*>(data), size * count)) return count;
    return __real_fwrite(data, size, count, f);
}

int __wrap_fputs(const char* text, FILE* f) {
    if (Queued(f, text, std::strlen(text))) return 1;
    return __real_fputs(text, f);
}

int __wrap_fputc(int c, FILE* f) {
    const char ch = char(c);
    if (Queued(f, &ch, 1)) return c & 0xFF;
    return __real_fputc(c, f);
}

int __wrap_putc(int c, FILE* f) {
    const char ch = char(c);
    if (Queued(f, &ch, 1)) return c & 0xFF;
    return __real_putc(c, f);
}

int __wrap_puts(const char* text) {
    if (Queued(stdout, text, std::strlen(text))) {
        Queued(stdout, "\n", 1);
        return 1;
    }
    return __real_puts(text);
}

int __wrap_putchar(int c) {
    const char ch = char(c);
    if (Queued(stdout, &ch, 1)) return c & 0xFF;
    return __real_putchar(c);
}

}  // extern "C"
