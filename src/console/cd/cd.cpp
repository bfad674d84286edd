#include "console/cd/cd.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "console/cd/disc_faults.h"

namespace console {
namespace {

struct DiscFile {
    std::string key;       // upper-case, backslash-separated, leading backslash: "\COMMON\QZ02DAT.BIN"
    std::string hostPath;  // path on the host
    uint32_t lsn;
    uint32_t size;
    int readError;  // see CdReadErrorOf
};

// The first sectors of a disc hold its system area and directory records; files start after them.
constexpr uint32_t kFirstFileSector = 24;

std::string g_root;
std::vector<DiscFile> g_files;  // sorted by key, which is also sector order
bool g_mounted = false;
uint64_t g_readCount = 0;
int g_injectedErrors = 0;
int g_lastStatus = 0;
int g_cachedFd = -1;
int g_cachedIndex = -1;

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

void Walk(const std::string& hostDir, const std::string& keyDir, std::vector<DiscFile>& out, int depth) {
    if (depth > 16) return;
    DIR* d = opendir(hostDir.c_str());
    if (!d) return;
    while (dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        std::string host = hostDir + "/" + name;
        struct stat st;
        if (stat(host.c_str(), &st) != 0) continue;
        std::string key = keyDir + "\\" + Upper(name);
        if (S_ISDIR(st.st_mode)) {
            Walk(host, key, out, depth + 1);
        } else if (S_ISREG(st.st_mode) && st.st_size <= 0x7FFFFFFF) {
            out.push_back({key, host, 0, static_cast<uint32_t>(st.st_size), 0});
        }
    }
    closedir(d);
}

// "\DIR\NAME.EXT;1", "DIR/NAME.EXT" -> "\DIR\NAME.EXT"
std::string KeyOf(const char* name) {
    std::string s = name ? name : "";
    size_t semi = s.find(';');
    if (semi != std::string::npos) s.resize(semi);
    for (char& c : s)
        if (c == '/') c = '\\';
    if (s.empty() || s[0] != '\\') s = "\\" + s;
    return Upper(s);
}

const DiscFile* Find(const std::string& key) {
    auto it = std::lower_bound(g_files.begin(), g_files.end(), key,
                               [](const DiscFile& f, const std::string& k) { return f.key < k; });
    if (it == g_files.end() || it->key != key) return nullptr;
    return &*it;
}

void CloseCached() {
    if (g_cachedFd >= 0) close(g_cachedFd);
    g_cachedFd = -1;
    g_cachedIndex = -1;
}

// Copies sector `lsn` into dst (2048 bytes); zeros where no file lies.
bool ReadSector(uint32_t lsn, uint8_t* dst) {
    std::memset(dst, 0, kCdSectorSize);
    auto it = std::upper_bound(g_files.begin(), g_files.end(), lsn,
                               [](uint32_t l, const DiscFile& f) { return l < f.lsn; });
    if (it == g_files.begin()) return true;
    --it;
    // Zero-length files share their sector number with the next file; find the one that holds data.
    while (it != g_files.begin() && it->size == 0) --it;
    uint64_t offset = static_cast<uint64_t>(lsn - it->lsn) * kCdSectorSize;
    if (offset >= it->size) return true;
    int index = static_cast<int>(it - g_files.begin());
    if (index != g_cachedIndex) {
        CloseCached();
        g_cachedFd = open(it->hostPath.c_str(), O_RDONLY);
        if (g_cachedFd < 0) {
            it->readError = errno != 0 ? errno : EIO;
            return false;
        }
        g_cachedIndex = index;
    }
    size_t want = static_cast<size_t>(std::min<uint64_t>(kCdSectorSize, it->size - offset));
    ssize_t got = pread(g_cachedFd, dst, want, static_cast<off_t>(offset));
    if (got == static_cast<ssize_t>(want)) return true;
    it->readError = got < 0 ? (errno != 0 ? errno : EIO) : -1;
    return false;
}

}  // namespace

bool CdMount(const char* dir) {
    CdUnmount();
    CdForgetFaults();
    struct stat st;
    if (!dir || stat(dir, &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    g_root = dir;
    std::vector<DiscFile> files;
    Walk(g_root, "", files, 0);
    std::sort(files.begin(), files.end(), [](const DiscFile& a, const DiscFile& b) { return a.key < b.key; });
    uint32_t lsn = kFirstFileSector;
    for (DiscFile& f : files) {
        f.lsn = lsn;
        lsn += (f.size + kCdSectorSize - 1) / kCdSectorSize;
    }
    g_files = std::move(files);
    g_mounted = true;
    return true;
}

void CdUnmount() {
    CloseCached();
    g_files.clear();
    g_root.clear();
    g_mounted = false;
    g_injectedErrors = 0;
    g_lastStatus = 0;
    CdForgetFaults();
}

bool CdMounted() {
    return g_mounted;
}
const char* CdRoot() {
    return g_root.c_str();
}
uint64_t CdReadCount() {
    return g_readCount;
}
void CdInjectReadErrors(int count) {
    g_injectedErrors = count;
}

bool CdHostPath(const char* discName, char* out, int outSize) {
    const DiscFile* f = Find(KeyOf(discName));
    if (!f || static_cast<int>(f->hostPath.size()) >= outSize) return false;
    std::snprintf(out, static_cast<size_t>(outSize), "%s", f->hostPath.c_str());
    return true;
}

int CdReadErrorOf(const char* discName) {
    const DiscFile* f = Find(KeyOf(discName));
    return f ? f->readError : 0;
}

}  // namespace console

using namespace console;

int sceCdInit(int) {
    return 1;
}
int sceCdMmode(int) {
    return 1;
}
int sceCdDiskReady(int) {
    return 2;
}  // complete: ready for commands

int sceCdSearchFile(sceCdlFILE* entry, const char* name) {
    if (!entry || !g_mounted) return 0;
    const DiscFile* f = Find(KeyOf(name));
    if (!f) return 0;
    entry->lsn = f->lsn;
    entry->size = f->size;
    std::memset(entry->name, 0, sizeof entry->name);
    size_t slash = f->key.rfind('\\');
    std::string base = f->key.substr(slash + 1) + ";1";
    std::memcpy(entry->name, base.data(), std::min(base.size(), sizeof entry->name - 1));
    std::memset(entry->date, 0, sizeof entry->date);
    return 1;
}

int sceCdRead(uint32_t lsn, uint32_t sectors, void* buf, sceCdRMode*) {
    if (!buf) return 0;
    ++g_readCount;
    if (g_injectedErrors > 0) {
        --g_injectedErrors;
        g_lastStatus = 0x30;  // read error
        return 1;
    }
    g_lastStatus = 0;
    auto* dst = static_cast<uint8_t*>(buf);
    for (uint32_t i = 0; i < sectors; ++i)
        if (!ReadSector(lsn + i, dst + static_cast<size_t>(i) * kCdSectorSize)) g_lastStatus = 0x30;
    return 1;
}

int sceCdSync(int) {
    return g_lastStatus;
}
int sceCdGetDiskType() {
    return g_mounted ? SCECdDVD : 0;
}
