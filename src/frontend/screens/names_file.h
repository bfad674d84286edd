// "frontend\names.txt": the people the credits name, one line "credit NAME" each (a line may end in
// "\r\n"); lines of other kinds are not read. The file is read whole; what it holds beyond what the
// credits can show is left out with one log line per kind, naming the file:
//   - a file longer than kMaxBytes is not read at all (the names already held stay);
//   - a credit line holding a NUL is left out;
//   - a name longer than kNameChars is cut there; a character outside printable ASCII shows as '?';
//   - credit lines past the credits' count are left out;
//   - a file with no credit line keeps the names already held.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace namesfile {

inline constexpr size_t kMaxBytes = 64 * 1024;
inline constexpr size_t kNameChars = 31;
inline constexpr size_t kNameSize = kNameChars + 1;

struct Result {
    int names = 0;     // names written to `out`
    int withNul = 0;   // credit lines left out for a NUL
    int cut = 0;       // names cut to kNameChars
    int replaced = 0;  // names in which a character was shown as '?'
    int extra = 0;     // credit lines past `max`
    bool tooLong = false;
};

// Reads the credit names of `length` bytes of `text` into out[0 .. max - 1] (each NUL-terminated; the
// entries past the names read are left as they were). `file` names the file in the log lines.
Result ReadNames(const char* text, size_t length, char (*out)[kNameSize], int max, const char* file);

// The file's text for `names`, one "credit NAME" line each.
std::string WriteNames(const std::vector<std::string>& names);

}  // namespace namesfile
