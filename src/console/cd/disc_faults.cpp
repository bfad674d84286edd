#include "console/cd/disc_faults.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "console/cd/cd.h"

namespace console {
namespace {

constexpr int kMaxRecords = 64;

std::mutex g_mutex;
DiscFileFault g_records[kMaxRecords];
int g_count = 0;
CdFaultSink g_sink = nullptr;
void* g_sinkUser = nullptr;
char g_remake[512] = "rebuild the disc ('make disc')";

// "cdrom0:\WORLD\i03.bin;1" -> "WORLD/i03.bin"
void DiscPath(const char* name, char* out, size_t size) {
    if (strncasecmp(name, "cdrom0:", 7) == 0) name += 7;
    while (*name == '\\' || *name == '/') ++name;
    size_t n = 0;
    for (; *name && *name != ';' && n + 1 < size; ++name) out[n++] = *name == '\\' ? '/' : *name;
    out[n] = '\0';
}

// Finds the entry of folder `dir` named `name` (case-insensitively) and writes its name to `found`:
// 0, ENOENT when there is none, or minus the reason the folder cannot be listed.
int FindEntry(const char* dir, const char* name, char* found, size_t size) {
    errno = 0;
    DIR* d = opendir(dir);
    if (!d) return errno != 0 ? -errno : -EIO;
    int result = ENOENT;
    while (dirent* e = readdir(d)) {
        if (strcasecmp(e->d_name, name) != 0) continue;
        std::snprintf(found, size, "%s", e->d_name);
        result = 0;
        break;
    }
    closedir(d);
    return result;
}

// `dir`/`name` into `out` (just `name` when `dir` is empty), cut to `size`.
void Join(char* out, size_t size, const char* dir, const char* name) {
    size_t n = 0;
    for (const char* p = dir; *p && n + 1 < size; ++p) out[n++] = *p;
    if (dir[0] && n + 1 < size) out[n++] = '/';
    for (const char* p = name; *p && n + 1 < size; ++p) out[n++] = *p;
    out[n] = '\0';
}

// Fills the fault's place: the host path of the entry and its path below the disc directory.
void Place(DiscFileFault* f, const char* hostPath, const char* discPath) {
    Join(f->place, sizeof f->place, "", hostPath);
    Join(f->part, sizeof f->part, "", discPath);
}

// Where the walk down a disc file's path stands: a folder, by host path and by path below the disc.
struct Walker {
    char path[1024];
    char disc[128];
};

// Looks at the entry `found` of the walker's folder, the last name of the file's path when `last`:
// fills `f` and returns true when the walk ends there, else steps the walker into the folder found.
bool LookAt(DiscFileFault* f, Walker* w, const char* found, bool last) {
    char entry[sizeof w->path], entryDisc[sizeof w->disc];
    Join(entry, sizeof entry, w->path, found);
    Join(entryDisc, sizeof entryDisc, w->disc, found);
    struct stat st;
    if (stat(entry, &st) != 0) {
        const int e = errno;
        if (e == ENOENT) {  // a link to nothing
            f->kind = DiscFault::kMissing;
            f->atFolder = !last;
            Place(f, entry, entryDisc);
        } else {  // listed but not to be looked into: the folder holding it refuses
            f->kind = DiscFault::kUnreadable;
            f->error = e;
            f->atFolder = true;
            Place(f, w->path, w->disc);
        }
        return true;
    }
    if (!last) {
        if (S_ISDIR(st.st_mode)) {
            Join(w->path, sizeof w->path, "", entry);
            Join(w->disc, sizeof w->disc, "", entryDisc);
            return false;
        }
        f->kind = DiscFault::kNotAFolder;
        f->atFolder = true;
        Place(f, entry, entryDisc);
        return true;
    }
    Place(f, entry, entryDisc);
    if (!S_ISREG(st.st_mode)) {
        f->kind = DiscFault::kNotAFile;
        f->isFolder = S_ISDIR(st.st_mode);
        return true;
    }
    const int fd = open(entry, O_RDONLY);
    if (fd < 0) {
        f->kind = DiscFault::kUnreadable;
        f->error = errno;
        return true;
    }
    close(fd);
    return true;
}

}  // namespace

DiscFileFault CdFileFault(const char* root, const char* discName) {
    DiscFileFault f;
    DiscPath(discName ? discName : "", f.file, sizeof f.file);
    Walker w;
    Join(w.path, sizeof w.path, "", root ? root : "");
    w.disc[0] = '\0';
    for (const char* rest = f.file;;) {
        const char* slash = std::strchr(rest, '/');
        const bool last = slash == nullptr;
        char asked[128], found[256];
        const size_t length = last ? std::strlen(rest) : static_cast<size_t>(slash - rest);
        Join(asked, length + 1 < sizeof asked ? length + 1 : sizeof asked, "", rest);
        const int e = FindEntry(w.path, asked, found, sizeof found);
        if (e == ENOENT) {
            char entry[sizeof w.path], entryDisc[sizeof w.disc];
            Join(entry, sizeof entry, w.path, asked);
            Join(entryDisc, sizeof entryDisc, w.disc, asked);
            f.kind = DiscFault::kMissing;
            f.atFolder = !last;
            Place(&f, entry, entryDisc);
            return f;
        }
        if (e != 0) {  // this folder cannot be listed
            f.kind = DiscFault::kUnreadable;
            f.error = -e;
            f.atFolder = true;
            Place(&f, w.path, w.disc);
            return f;
        }
        if (LookAt(&f, &w, found, last)) break;
        rest = slash + 1;
    }
    // There and readable now: what the mounted disc met when it read the file.
    if (f.kind == DiscFault::kNone && CdMounted() && root && std::strcmp(root, CdRoot()) == 0) {
        const int e = CdReadErrorOf(discName);
        if (e != 0) {
            f.kind = DiscFault::kUnreadable;
            f.error = e;
        }
    }
    return f;
}

const char* CdFaultReason(const DiscFileFault& f, char* out, size_t size) {
    char where[sizeof f.part + 40] = "";
    if (f.atFolder)
        std::snprintf(where, sizeof where, " on %s%s", f.part[0] ? "the folder " : "the disc directory",
                      f.part);
    switch (f.kind) {
        case DiscFault::kMissing:
            if (f.atFolder)
                std::snprintf(out, size, "is missing (no folder %s)", f.part);
            else
                std::snprintf(out, size, "is missing");
            break;
        case DiscFault::kNotAFolder:
            std::snprintf(out, size, "is missing: %s is a file, not a folder", f.part);
            break;
        case DiscFault::kNotAFile:
            std::snprintf(out, size, "is not a file%s", f.isFolder ? " (a folder)" : "");
            break;
        case DiscFault::kUnreadable: {
            char why[128];
            if (f.error > 0)
                std::snprintf(why, sizeof why, "%s", std::strerror(f.error));
            else
                std::snprintf(why, sizeof why, "%s",
                              f.error < 0 ? "shorter than when the run started" : "read error");
            if (why[0] >= 'A' && why[0] <= 'Z' && !(why[1] >= 'A' && why[1] <= 'Z'))
                why[0] = static_cast<char>(why[0] - 'A' + 'a');
            std::snprintf(out, size, "cannot be read: %s%s", why, where);
            break;
        }
        case DiscFault::kNone:
            std::snprintf(out, size, "could not be read");
            break;
    }
    return out;
}

const char* CdFaultAdvice(const DiscFileFault* f, char* out, size_t size) {
    if (f && f->kind == DiscFault::kUnreadable && (f->error == EACCES || f->error == EPERM))
        std::snprintf(out, size, "let the user running qz read it: chmod a+rX '%s'", f->place);
    else
        std::snprintf(out, size, "%s", g_remake);
    return out;
}

void CdSetRemakeAdvice(const char* advice) {
    std::snprintf(g_remake, sizeof g_remake, "%s", advice ? advice : "");
}

void CdReportUnavailable(const char* discName) {
    if (!CdMounted() || !discName) return;
    const DiscFileFault f = CdFileFault(CdRoot(), discName);
    CdFaultSink sink = nullptr;
    void* user = nullptr;
    {
        const std::lock_guard<std::mutex> lock(g_mutex);
        for (int i = 0; i < g_count; ++i)
            if (strcasecmp(g_records[i].file, f.file) == 0) return;
        if (g_count < kMaxRecords) g_records[g_count++] = f;
        sink = g_sink;
        user = g_sinkUser;
    }
    if (sink) sink(f, user);
}

void CdSetFaultSink(CdFaultSink sink, void* user) {
    const std::lock_guard<std::mutex> lock(g_mutex);
    g_sink = sink;
    g_sinkUser = user;
}

int CdFaultCount() {
    const std::lock_guard<std::mutex> lock(g_mutex);
    return g_count;
}

const DiscFileFault* CdFaultAt(int index) {
    const std::lock_guard<std::mutex> lock(g_mutex);
    return index >= 0 && index < g_count ? &g_records[index] : nullptr;
}

const DiscFileFault* CdFaultOf(const char* discName) {
    char file[sizeof g_records[0].file];
    DiscPath(discName ? discName : "", file, sizeof file);
    const std::lock_guard<std::mutex> lock(g_mutex);
    for (int i = 0; i < g_count; ++i)
        if (strcasecmp(g_records[i].file, file) == 0) return &g_records[i];
    return nullptr;
}

void CdForgetFaults() {
    const std::lock_guard<std::mutex> lock(g_mutex);
    g_count = 0;
}

}  // namespace console
