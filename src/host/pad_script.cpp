#include "host/pad_script.h"

#include <strings.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace host {
namespace {

struct ButtonName {
    const char* name;
    uint16_t bit;
};
constexpr ButtonName kButtons[] = {
    {"L2", console::kPadL2},
    {"R2", console::kPadR2},
    {"L1", console::kPadL1},
    {"R1", console::kPadR1},
    {"TRIANGLE", console::kPadTriangle},
    {"CIRCLE", console::kPadCircle},
    {"CROSS", console::kPadCross},
    {"SQUARE", console::kPadSquare},
    {"SELECT", console::kPadSelect},
    {"L3", console::kPadL3},
    {"R3", console::kPadR3},
    {"START", console::kPadStart},
    {"UP", console::kPadUp},
    {"RIGHT", console::kPadRight},
    {"DOWN", console::kPadDown},
    {"LEFT", console::kPadLeft},
};
// Stick words and their byte in PadInput::sticks (right X, right Y, left X, left Y).
constexpr struct {
    const char* name;
    int index;
} kSticks[] = {{"RX", 0}, {"RY", 1}, {"LX", 2}, {"LY", 3}};

bool ParseUnsigned(std::string_view s, uint64_t limit, uint64_t* out) {
    if (s.empty()) return false;
    uint64_t v = 0;
    for (const char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
        if (v > limit) return false;
    }
    *out = v;
    return true;
}

bool ParseFrames(std::string_view w, uint64_t* first, uint64_t* last) {
    const uint64_t kLimit = 1ull << 40;
    if (w.back() == '+') {
        *last = UINT64_MAX;
        return ParseUnsigned(w.substr(0, w.size() - 1), kLimit, first);
    }
    const size_t dash = w.find('-');
    if (dash == std::string_view::npos) {
        if (!ParseUnsigned(w, kLimit, first)) return false;
        *last = *first;
        return true;
    }
    return ParseUnsigned(w.substr(0, dash), kLimit, first) &&
           ParseUnsigned(w.substr(dash + 1), kLimit, last) && *first <= *last;
}

bool Is(std::string_view w, const char* name) {
    return w.size() == std::strlen(name) && strncasecmp(w.data(), name, w.size()) == 0;
}

// Why a word is refused, for the message: an unknown word, or a stick value out of its range.
enum class WordFault { kNone, kUnknown, kStickValue };

WordFault ParseWord(std::string_view w, console::PadInput* in) {
    for (const ButtonName& b : kButtons) {
        if (Is(w, b.name)) {
            in->buttons |= b.bit;
            return WordFault::kNone;
        }
    }
    if (Is(w, "IDLE")) return WordFault::kNone;
    if (Is(w, "UNPLUGGED")) {
        in->connected = false;
        return WordFault::kNone;
    }
    const size_t eq = w.find('=');
    if (eq == std::string_view::npos) return WordFault::kUnknown;
    const std::string_view key = w.substr(0, eq);
    for (const auto& s : kSticks) {
        if (!Is(key, s.name)) continue;
        uint64_t v;
        if (!ParseUnsigned(w.substr(eq + 1), 255, &v)) return WordFault::kStickValue;
        in->sticks[s.index] = static_cast<uint8_t>(v);
        return WordFault::kNone;
    }
    return WordFault::kUnknown;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// A word as a message shows it: printable characters as they are, any other byte as \xNN (a binary file
// would write its raw bytes to the terminal), and no more than the first kShownBytes of it.
constexpr size_t kShownBytes = 40;
struct ShownWord {
    char text[kShownBytes * 4 + 4];
};

ShownWord Shown(std::string_view word) {
    ShownWord shown;
    char* at = shown.text;
    for (size_t i = 0; i < word.size() && i < kShownBytes; ++i) {
        const auto c = static_cast<unsigned char>(word[i]);
        if (c >= 0x20 && c < 0x7f)
            *at++ = static_cast<char>(c);
        else
            at += std::snprintf(at, 5, "\\x%02x", c);
    }
    std::snprintf(at, 4, "%s", word.size() > kShownBytes ? "..." : "");
    return shown;
}

}  // namespace

bool PadScript::Parse(std::string_view text, const char* name, Error* error) {
    rules_.clear();
    int lineNo = 0;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string_view::npos) nl = text.size();
        std::string_view line = text.substr(pos, nl - pos);
        pos = nl + 1;
        ++lineNo;
        const size_t hash = line.find('#');
        if (hash != std::string_view::npos) line = line.substr(0, hash);
        Rule r;
        r.input = console::PadIdle();
        bool first = true;
        size_t i = 0;
        while (i < line.size()) {
            while (i < line.size() && IsBlank(line[i])) ++i;
            size_t j = i;
            while (j < line.size() && !IsBlank(line[j])) ++j;
            if (j == i) break;
            const std::string_view word = line.substr(i, j - i);
            i = j;
            if (first) {
                first = false;
                if (!ParseFrames(word, &r.first, &r.last))
                    return error->Set(
                        "%s:%d: bad frame range '%s' (give N, N-M with M not below N, or N+; shown frames "
                        "counted from 0)",
                        name, lineNo, Shown(word).text);
                continue;
            }
            switch (ParseWord(word, &r.input)) {
                case WordFault::kNone:
                    break;
                case WordFault::kStickValue:
                    return error->Set("%s:%d: bad stick value in '%s' (give 0 to 255, 128 is the centre)",
                                      name, lineNo, Shown(word).text);
                case WordFault::kUnknown:
                    return error->Set(
                        "%s:%d: unknown word '%s' (buttons: START SELECT CROSS CIRCLE SQUARE TRIANGLE "
                        "UP DOWN LEFT RIGHT L1 L2 L3 R1 R2 R3; sticks LX= LY= RX= RY=; IDLE; UNPLUGGED)",
                        name, lineNo, Shown(word).text);
            }
        }
        if (!first) rules_.push_back(r);
    }
    return true;
}

bool PadScript::Load(const char* path, Error* error) {
    struct stat st;
    if (stat(path, &st) == 0 && !S_ISREG(st.st_mode))
        return error->Set("%s: is not a file; --pad1 and --pad2 take a pad script file", path);
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return error->Set("%s: cannot read the pad script: %s", path, std::strerror(errno));
    // The text is read into the host's memory and dropped once parsed.
    std::vector<char, HostAllocator<char>> text;
    char buf[4096];
    size_t n;
    // Scripts are short; a huge file is a mistake, not a script, and is refused whole rather than cut.
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        if (text.size() + n > kMaxScriptBytes) {
            std::fclose(f);
            return error->Set("%s: the pad script is larger than %zu MiB; a pad script is a short text file",
                              path, kMaxScriptBytes >> 20);
        }
        text.insert(text.end(), buf, buf + n);
    }
    const bool readError = std::ferror(f) != 0;
    std::fclose(f);
    if (readError) return error->Set("%s: cannot read the pad script", path);
    return Parse(std::string_view(text.data(), text.size()), path, error);
}

console::PadInput PadScript::StateAt(uint64_t frame) const {
    for (size_t i = rules_.size(); i-- > 0;)
        if (frame >= rules_[i].first && frame <= rules_[i].last) return rules_[i].input;
    return console::PadIdle();
}

void PadScript::Apply(int port, int slot, uint64_t frame) const {
    console::PadSetInput(port, slot, StateAt(frame));
}

}  // namespace host
