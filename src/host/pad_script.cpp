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

bool ParseUnsigned(const char* s, const char* end, uint64_t limit, uint64_t* out) {
    if (s == end) return false;
    uint64_t v = 0;
    for (const char* p = s; p < end; ++p) {
        if (*p < '0' || *p > '9') return false;
        v = v * 10 + static_cast<uint64_t>(*p - '0');
        if (v > limit) return false;
    }
    *out = v;
    return true;
}

bool ParseFrames(const std::string& w, uint64_t* first, uint64_t* last) {
    const char* s = w.c_str();
    const char* end = s + w.size();
    const uint64_t kLimit = 1ull << 40;
    if (w.back() == '+') {
        *last = UINT64_MAX;
        return ParseUnsigned(s, end - 1, kLimit, first);
    }
    const char* dash = std::strchr(s, '-');
    if (!dash) {
        if (!ParseUnsigned(s, end, kLimit, first)) return false;
        *last = *first;
        return true;
    }
    return ParseUnsigned(s, dash, kLimit, first) && ParseUnsigned(dash + 1, end, kLimit, last) &&
           *first <= *last;
}

bool ParseWord(const std::string& w, console::PadInput* in) {
    for (const ButtonName& b : kButtons) {
        if (strcasecmp(w.c_str(), b.name) == 0) {
            in->buttons |= b.bit;
            return true;
        }
    }
    if (strcasecmp(w.c_str(), "IDLE") == 0) return true;
    if (strcasecmp(w.c_str(), "UNPLUGGED") == 0) {
        in->connected = false;
        return true;
    }
    const size_t eq = w.find('=');
    if (eq == std::string::npos) return false;
    const std::string key = w.substr(0, eq);
    for (const auto& s : kSticks) {
        if (strcasecmp(key.c_str(), s.name) != 0) continue;
        uint64_t v;
        if (!ParseUnsigned(w.c_str() + eq + 1, w.c_str() + w.size(), 255, &v)) return false;
        in->sticks[s.index] = static_cast<uint8_t>(v);
        return true;
    }
    return false;
}

}  // namespace

bool PadScript::Parse(const std::string& text, const char* name, Error* error) {
    rules_.clear();
    int lineNo = 0;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) nl = text.size();
        std::string line = text.substr(pos, nl - pos);
        pos = nl + 1;
        ++lineNo;
        const size_t hash = line.find('#');
        if (hash != std::string::npos) line.resize(hash);
        std::vector<std::string> words;
        size_t i = 0;
        while (i < line.size()) {
            while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
            size_t j = i;
            while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '\r') ++j;
            if (j > i) words.push_back(line.substr(i, j - i));
            i = j;
        }
        if (words.empty()) continue;
        Rule r;
        r.input = console::PadIdle();
        if (!ParseFrames(words[0], &r.first, &r.last)) {
            return error->Set("%s:%d: bad frame range '%s'", name, lineNo, words[0].c_str());
        }
        for (size_t k = 1; k < words.size(); ++k) {
            if (!ParseWord(words[k], &r.input)) {
                return error->Set("%s:%d: unknown word '%s'", name, lineNo, words[k].c_str());
            }
        }
        rules_.push_back(r);
    }
    return true;
}

bool PadScript::Load(const char* path, Error* error) {
    struct stat st;
    if (stat(path, &st) == 0 && !S_ISREG(st.st_mode))
        return error->Set("%s: is not a file; --pad1 and --pad2 take a pad script file", path);
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return error->Set("%s: cannot read the pad script: %s", path, std::strerror(errno));
    std::string text;
    char buf[4096];
    size_t n;
    // Scripts are short; a huge file is a mistake, not a script, and is refused whole rather than cut.
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        if (text.size() + n > kMaxScriptBytes) {
            std::fclose(f);
            return error->Set("%s: the pad script is larger than %zu MiB; a pad script is a short text file",
                              path, kMaxScriptBytes >> 20);
        }
        text.append(buf, n);
    }
    const bool readError = std::ferror(f) != 0;
    std::fclose(f);
    if (readError) return error->Set("%s: cannot read the pad script", path);
    return Parse(text, path, error);
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
