#include "console/cd/cd.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
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
uint32_t g_lastIntact = 0;
std::string g_refusal;
std::string g_refusalLink, g_refusalLinkTarget;  // the link that led the walk out to too much

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// A disc's folders go eight deep at most, and a disc holds far fewer files than this: the walk stops
// there, so that a directory that is no disc (a whole file system, a folder of links) cannot keep it going.
constexpr int kMaxDepth = 8;
constexpr size_t kMaxEntries = size_t{1} << 15;

struct WalkState {
    std::string root;                              // the disc directory, links resolved
    std::vector<std::pair<dev_t, ino_t>> folders;  // the folders from the disc directory to the one walked
    std::vector<DiscFile> files;
    size_t entries = 0;                    // entries looked at
    std::string linkOut, linkOutTarget;    // the link on the way to the folder walked that leads out of root
    std::string blamedLink, blamedTarget;  // that link when the walk met more entries than a disc holds
};

bool Inside(const std::string& path, const std::string& root) {
    return path == root || (path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
                            (root.back() == '/' || path[root.size()] == '/'));
}

// A folder already on the way to the one walked (a link to "." or "..", a bind mount) is not entered again:
// the walk would never end. Anything else is, wherever a link leads: a disc assembled from links to
// folders elsewhere is an ordinary set-up.
bool OnTheWay(const WalkState& w, const struct stat& st) {
    for (const auto& f : w.folders)
        if (f.first == st.st_dev && f.second == st.st_ino) return true;
    return false;
}

// False when the directory holds more than a disc can.
bool Walk(WalkState& w, const std::string& hostDir, const std::string& keyDir, int depth) {
    DIR* d = opendir(hostDir.c_str());
    if (!d) return true;
    bool ok = true;
    while (dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        if (++w.entries > kMaxEntries) {
            w.blamedLink = w.linkOut;
            w.blamedTarget = w.linkOutTarget;
            ok = false;
            break;
        }
        std::string host = hostDir + "/" + name;
        struct stat lst, st;
        if (lstat(host.c_str(), &lst) != 0 || stat(host.c_str(), &st) != 0) continue;
        std::string key = keyDir + "\\" + Upper(name);
        if (S_ISDIR(st.st_mode)) {
            if (depth >= kMaxDepth || OnTheWay(w, st)) continue;
            // The first link on the way that leads out of the disc directory is the one to blame if what
            // lies behind it is more than a disc holds (a stray link to "/").
            const bool firstOut = S_ISLNK(lst.st_mode) && w.linkOut.empty();
            if (firstOut) {
                char* real = realpath(host.c_str(), nullptr);
                if (real && !Inside(real, w.root)) {
                    w.linkOut = host;
                    w.linkOutTarget = real;
                }
                std::free(real);
            }
            w.folders.emplace_back(st.st_dev, st.st_ino);
            ok = Walk(w, host, key, depth + 1);
            w.folders.pop_back();
            if (firstOut) {
                w.linkOut.clear();
                w.linkOutTarget.clear();
            }
            if (!ok) break;
        } else if (S_ISREG(st.st_mode) && st.st_size <= 0x7FFFFFFF) {
            w.files.push_back({key, host, 0, static_cast<uint32_t>(st.st_size), 0});
        }
    }
    closedir(d);
    return ok;
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

// The file whose data holds sector `lsn`, or -1 where no file lies (the system area, the slack past
// a file's last byte, past the last file).
int FileAt(uint32_t lsn) {
    auto it = std::upper_bound(g_files.begin(), g_files.end(), lsn,
                               [](uint32_t l, const DiscFile& f) { return l < f.lsn; });
    if (it == g_files.begin()) return -1;
    --it;
    // Zero-length files share their sector number with the next file; find the one that holds data.
    while (it != g_files.begin() && it->size == 0) --it;
    if (static_cast<uint64_t>(lsn - it->lsn) * kCdSectorSize >= it->size) return -1;
    return static_cast<int>(it - g_files.begin());
}

// Copies sector `lsn`, which lies in file `index` (FileAt), into dst (2048 bytes); zeros where no file
// lies. False when the file cannot be opened or read, with the reason kept for CdReadErrorOf.
bool ReadSector(uint32_t lsn, int index, uint8_t* dst) {
    std::memset(dst, 0, kCdSectorSize);
    if (index < 0) return true;
    DiscFile& f = g_files[static_cast<size_t>(index)];
    const uint64_t offset = static_cast<uint64_t>(lsn - f.lsn) * kCdSectorSize;
    if (index != g_cachedIndex) {
        CloseCached();
        g_cachedFd = open(f.hostPath.c_str(), O_RDONLY);
        if (g_cachedFd < 0) {
            f.readError = errno != 0 ? errno : EIO;
            return false;
        }
        g_cachedIndex = index;
    }
    size_t want = static_cast<size_t>(std::min<uint64_t>(kCdSectorSize, f.size - offset));
    ssize_t got = pread(g_cachedFd, dst, want, static_cast<off_t>(offset));
    if (got == static_cast<ssize_t>(want)) return true;
    std::memset(dst, 0, kCdSectorSize);
    f.readError = got < 0 ? (errno != 0 ? errno : EIO) : -1;
    return false;
}

}  // namespace

bool CdMount(const char* dir) {
    CdUnmount();
    CdForgetFaults();
    g_refusal.clear();
    g_refusalLink.clear();
    g_refusalLinkTarget.clear();
    struct stat st;
    if (!dir || stat(dir, &st) != 0 || !S_ISDIR(st.st_mode)) {
        g_refusal = "is not a directory";
        return false;
    }
    WalkState w;
    if (char* real = realpath(dir, nullptr)) {
        w.root = real;
        std::free(real);
    } else {
        w.root = dir;
    }
    w.folders.emplace_back(st.st_dev, st.st_ino);
    if (!Walk(w, dir, "", 0)) {
        g_refusal = "holds more than " + std::to_string(kMaxEntries) +
                    " files and folders (a game disc holds a few hundred)";
        g_refusalLink = w.blamedLink;
        g_refusalLinkTarget = w.blamedTarget;
        return false;
    }
    std::vector<DiscFile>& files = w.files;
    std::sort(files.begin(), files.end(), [](const DiscFile& a, const DiscFile& b) { return a.key < b.key; });
    uint64_t lsn = kFirstFileSector;
    for (DiscFile& f : files) {
        if (lsn > UINT32_MAX) break;
        f.lsn = static_cast<uint32_t>(lsn);
        lsn += (uint64_t{f.size} + kCdSectorSize - 1) / kCdSectorSize;
    }
    if (lsn > UINT32_MAX) {
        g_refusal = "holds more than the 8 TB a disc's sector numbers reach";
        return false;
    }
    g_root = dir;
    g_files = std::move(files);
    g_mounted = true;
    return true;
}

const char* CdMountRefusal() {
    return g_refusal.c_str();
}

const char* CdMountRefusalLink(const char** target) {
    if (target) *target = g_refusalLinkTarget.c_str();
    return g_refusalLink.empty() ? nullptr : g_refusalLink.c_str();
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
        g_lastIntact = 0;
        return 1;
    }
    g_lastStatus = 0;
    g_lastIntact = sectors;
    auto* dst = static_cast<uint8_t*>(buf);
    // The read is one of the file holding its first sector. Sectors of another file that cannot be read
    // come back as zeros, as between files, and do not fail it: that file's fault is its own.
    const int owner = FileAt(lsn);
    for (uint32_t i = 0; i < sectors; ++i) {
        const int index = FileAt(lsn + i);
        if (ReadSector(lsn + i, index, dst + static_cast<size_t>(i) * kCdSectorSize)) continue;
        if (index == owner)
            g_lastStatus = 0x30;
        else
            g_lastIntact = std::min(g_lastIntact, i);
    }
    return 1;
}

uint32_t console::CdLastReadIntact() {
    return g_lastIntact;
}

int sceCdSync(int) {
    return g_lastStatus;
}
int sceCdGetDiskType() {
    return g_mounted ? SCECdDVD : 0;
}
