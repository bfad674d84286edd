// A scratch directory for one test, removed afterwards, and small file helpers.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace testsupport {

class TempDir {
public:
    TempDir() {
        const char* base = std::getenv("QZ_TEST_TMP");
        std::string root = base && *base ? base : "/tmp";
        mkdir(root.c_str(), 0755);
        std::string tmpl = root + "/qzt-XXXXXX";
        std::vector<char> buf(tmpl.begin(), tmpl.end());
        buf.push_back(0);
        char* made = mkdtemp(buf.data());
        path_ = made ? made : root;
    }
    ~TempDir() {
        std::string cmd = "rm -rf '" + path_ + "'";
        if (std::system(cmd.c_str()) != 0) {
        }
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }

#ifdef QZ_DISC_DIR
    // Fills the directory with links to the sample disc the build wrote, for a test that damages a copy
    // of it (remove or write() a file; both replace the link). Much cheaper than writing a new disc.
    bool linkSampleDisc() const {
        std::string cmd = "cp -rs '" + std::string(QZ_DISC_DIR) + "/.' '" + path_ + "'";
        return std::system(cmd.c_str()) == 0;
    }
#endif
    std::string file(const std::string& rel) const {
        return path_ + "/" + rel;
    }

    // Writes a file, creating its directories. An existing file or link is replaced, never written
    // through, so a linked sample disc (below) stays untouched.
    void write(const std::string& rel, const std::vector<uint8_t>& bytes) const {
        std::string full = file(rel);
        for (size_t i = path_.size() + 1; i < full.size(); ++i)
            if (full[i] == '/') mkdir(full.substr(0, i).c_str(), 0755);
        std::remove(full.c_str());
        std::FILE* f = std::fopen(full.c_str(), "wb");
        if (!f) return;
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    void write(const std::string& rel, const std::string& text) const {
        write(rel, std::vector<uint8_t>(text.begin(), text.end()));
    }

private:
    std::string path_;
};

inline std::string ReadText(const std::string& path) {
    std::string out;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    std::fclose(f);
    return out;
}

// Bytes whose value depends on their offset, so misplaced reads show.
inline std::vector<uint8_t> Pattern(size_t size, uint32_t seed = 1) {
    std::vector<uint8_t> v(size);
    uint32_t x = seed;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1664525u + 1013904223u;
        v[i] = static_cast<uint8_t>(x >> 24);
    }
    return v;
}

}  // namespace testsupport
