#include "frontend/screens/names_file.h"

#include <cstring>

#include "engine/sys/files.h"

namespace namesfile {

namespace {

constexpr char kKey[] = "credit ";
constexpr size_t kKeyLength = sizeof kKey - 1;

}  // namespace

Result ReadNames(const char* text, size_t length, char (*out)[kNameSize], int max, const char* file) {
    Result r;
    if (!file) file = "?";
    if (length > kMaxBytes) {
        r.tooLong = true;
        x_printf("%s: %zu bytes, more than %zu; file not read, names kept\n", file, length, kMaxBytes);
        return r;
    }
    size_t at = 0;
    while (text && at < length) {
        const void* nl = std::memchr(text + at, '\n', length - at);
        const size_t end = nl ? static_cast<size_t>(static_cast<const char*>(nl) - text) : length;
        size_t lineEnd = end;
        if (lineEnd > at && text[lineEnd - 1] == '\r') --lineEnd;
        const char* line = text + at;
        const size_t lineLength = lineEnd - at;
        at = end + 1;
        if (lineLength < kKeyLength || std::memcmp(line, kKey, kKeyLength) != 0) continue;
        const char* name = line + kKeyLength;
        const size_t nameLength = lineLength - kKeyLength;
        if (std::memchr(name, '\0', nameLength)) {
            ++r.withNul;
            continue;
        }
        if (r.names >= max) {
            ++r.extra;
            continue;
        }
        const size_t kept = nameLength < kNameChars ? nameLength : kNameChars;
        if (kept < nameLength) ++r.cut;
        bool replaced = false;
        char* dst = out[r.names++];
        for (size_t i = 0; i < kept; ++i) {
            const unsigned char c = static_cast<unsigned char>(name[i]);
            const bool printable = c >= 0x20 && c < 0x7F;
            replaced = replaced || !printable;
            dst[i] = printable ? static_cast<char>(c) : '?';
        }
        dst[kept] = '\0';
        if (replaced) ++r.replaced;
    }
    if (r.withNul) x_printf("%s: %d credit lines hold a NUL; left out\n", file, r.withNul);
    if (r.cut) x_printf("%s: %d names longer than %zu characters; cut\n", file, r.cut, kNameChars);
    if (r.replaced)
        x_printf("%s: %d names hold characters outside printable ASCII; shown as '?'\n", file, r.replaced);
    if (r.extra) x_printf("%s: %d credit lines past the credits' %d; left out\n", file, r.extra, max);
    if (r.names == 0) x_printf("%s: no credit line; names kept\n", file);
    return r;
}

std::string WriteNames(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& n : names) out += kKey + n + "\n";
    return out;
}

}  // namespace namesfile
