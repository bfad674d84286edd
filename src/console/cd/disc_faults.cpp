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

// Far more files than the game asks for on an undamaged disc (about 150); a damaged list file can name
// any number, and past this bound they are counted as more, not told one by one (a file not recorded
// could not be told only once).
constexpr int kMaxRecords = 256;

std::mutex g_mutex;
DiscFileFault g_records[kMaxRecords];
int g_count = 0;
bool g_overflow = false;  // a file past the bound was met
// Files the run stops without (CdSetVital), as disc paths.
constexpr int kMaxVital = 4;
char g_vital[kMaxVital][sizeof DiscFileFault::file];
int g_vitalCount = 0;
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

// A folder the walk down a disc file's path looks in, by host path and by path below the disc.
struct Folder {
    char path[1024];
    char disc[128];
};

// The CD matches names in any case, so one name on the way may be several folders ("FRONTEND" and
// "frontend"), whose files it merges: the walk looks in each, as many as a name could sensibly be spelt.
constexpr int kMaxSpellings = 8;

struct Folders {
    Folder at[kMaxSpellings];
    int count = 0;
    // Keeps the folders in name order, so the fault given does not hang on the order a folder lists in.
    void Add(const char* path, const char* disc) {
        if (count == kMaxSpellings) return;
        int i = count++;
        for (; i > 0 && std::strcmp(at[i - 1].disc, disc) > 0; --i) at[i] = at[i - 1];
        Join(at[i].path, sizeof at[i].path, "", path);
        Join(at[i].disc, sizeof at[i].disc, "", disc);
    }
};

// The walk down one disc file's path, and the fault to give when the file is found nowhere. With folders
// merged the file may have been meant to be in either, so a fault that names what stands in the way (a
// refusal, an entry of the wrong kind) is told before one that only says a name is missing, and of those
// of the faults that say a name is missing, the deepest (a folder missing from one spelling of the path
// is no fault when another spelling has it).
struct Walk {
    DiscFileFault best;
    int depth = 0;      // the name of the path looked for: 0 for the first
    int bestDepth = 0;  // where `best` was found

    // A fault of the entry `hostPath` (`discPath` below the disc) or of the folder on its way.
    void Keep(DiscFault kind, int error, bool atFolder, const char* hostPath, const char* discPath,
              bool isFolder = false) {
        const bool better =
            best.kind == DiscFault::kNone ||
            (best.kind == DiscFault::kMissing && (kind != DiscFault::kMissing || depth > bestDepth));
        if (!better) return;
        best.kind = kind;
        best.error = error;
        best.atFolder = atFolder;
        best.isFolder = isFolder;
        Place(&best, hostPath, discPath);
        bestDepth = depth;
    }
};

// Looks at the entry `name` of `in`, the last name of the file's path when `last`: true when it is
// the file, there and opening; a folder on the way joins `next`; any other entry is a fault kept.
bool LookAt(Walk* w, const Folder& in, const char* name, bool last, Folders* next) {
    char entry[sizeof in.path], entryDisc[sizeof in.disc];
    Join(entry, sizeof entry, in.path, name);
    Join(entryDisc, sizeof entryDisc, in.disc, name);
    struct stat st;
    if (stat(entry, &st) != 0) {
        const int e = errno;
        if (e == ENOENT)  // a link to nothing
            w->Keep(DiscFault::kMissing, 0, !last, entry, entryDisc);
        else  // listed but not to be looked into: the folder holding it refuses
            w->Keep(DiscFault::kUnreadable, e, true, in.path, in.disc);
        return false;
    }
    if (!last) {
        if (S_ISDIR(st.st_mode))
            next->Add(entry, entryDisc);
        else
            w->Keep(DiscFault::kNotAFolder, 0, true, entry, entryDisc);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        w->Keep(DiscFault::kNotAFile, 0, false, entry, entryDisc, S_ISDIR(st.st_mode));
        return false;
    }
    const int fd = open(entry, O_RDONLY);
    if (fd < 0) {
        w->Keep(DiscFault::kUnreadable, errno, false, entry, entryDisc);
        return false;
    }
    close(fd);
    w->best.kind = DiscFault::kNone;
    w->best.error = 0;
    w->best.atFolder = false;
    w->best.isFolder = false;
    Place(&w->best, entry, entryDisc);
    return true;
}

// Looks for the entries named `asked` (in any case) in `in`: true when one is the file, readable.
bool LookIn(Walk* w, const Folder& in, const char* asked, bool last, Folders* next) {
    errno = 0;
    DIR* d = opendir(in.path);
    if (!d) {  // this folder cannot be listed
        w->Keep(DiscFault::kUnreadable, errno != 0 ? errno : EIO, true, in.path, in.disc);
        return false;
    }
    bool listed = false, found = false;
    while (dirent* e = readdir(d)) {
        if (strcasecmp(e->d_name, asked) != 0) continue;
        listed = true;
        if ((found = LookAt(w, in, e->d_name, last, next))) break;
    }
    closedir(d);
    if (!listed) {
        char entry[sizeof in.path], entryDisc[sizeof in.disc];
        Join(entry, sizeof entry, in.path, asked);
        Join(entryDisc, sizeof entryDisc, in.disc, asked);
        w->Keep(DiscFault::kMissing, 0, !last, entry, entryDisc);
    }
    return found;
}

}  // namespace

DiscFileFault CdFileFault(const char* root, const char* discName) {
    Walk w;
    DiscPath(discName ? discName : "", w.best.file, sizeof w.best.file);
    Folders here, next;
    here.Add(root ? root : "", "");
    bool found = false;
    for (const char* rest = w.best.file; !found && here.count > 0; ++w.depth) {
        const char* slash = std::strchr(rest, '/');
        const bool last = slash == nullptr;
        char asked[128];
        const size_t length = last ? std::strlen(rest) : static_cast<size_t>(slash - rest);
        Join(asked, length + 1 < sizeof asked ? length + 1 : sizeof asked, "", rest);
        next.count = 0;
        for (int i = 0; i < here.count && !found; ++i) found = LookIn(&w, here.at[i], asked, last, &next);
        if (last) break;
        here = next;
        rest = slash + 1;
    }
    // There and readable now: what the mounted disc met when it read the file.
    if (found && CdMounted() && root && std::strcmp(root, CdRoot()) == 0) {
        const int e = CdReadErrorOf(discName);
        if (e != 0) {
            w.best.kind = DiscFault::kUnreadable;
            w.best.error = e;
        }
    }
    return w.best;
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
        case DiscFault::kDamaged:
            std::snprintf(out, size, "is damaged: %s", f.damage);
            break;
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

namespace {

// Records `f` unless its file is recorded already, and hands it to the sink unless the run stops
// without that file (and says why itself).
void Record(const DiscFileFault& f) {
    CdFaultSink sink = nullptr;
    void* user = nullptr;
    {
        const std::lock_guard<std::mutex> lock(g_mutex);
        for (int i = 0; i < g_count; ++i)
            if (strcasecmp(g_records[i].file, f.file) == 0) return;
        if (g_count == kMaxRecords) {
            g_overflow = true;
            return;
        }
        g_records[g_count++] = f;
        for (int i = 0; i < g_vitalCount; ++i)
            if (strcasecmp(g_vital[i], f.file) == 0) return;  // the run says why it stops
        sink = g_sink;
        user = g_sinkUser;
    }
    if (sink) sink(f, user);
}

}  // namespace

void CdReportUnavailable(const char* discName) {
    if (!CdMounted() || !discName) return;
    Record(CdFileFault(CdRoot(), discName));
}

void CdReportDamaged(const char* discName, const char* why) {
    if (!CdMounted() || !discName) return;
    // Where the file lies on the host, for the record; what the system says of it no longer matters: it
    // was read whole.
    DiscFileFault f = CdFileFault(CdRoot(), discName);
    f.kind = DiscFault::kDamaged;
    f.error = 0;
    f.atFolder = false;
    f.isFolder = false;
    std::snprintf(f.damage, sizeof f.damage, "%s", why && why[0] ? why : "refused by its check");
    Record(f);
}

void CdSetVital(const char* discName) {
    char file[sizeof g_vital[0]];
    DiscPath(discName ? discName : "", file, sizeof file);
    const std::lock_guard<std::mutex> lock(g_mutex);
    for (int i = 0; i < g_vitalCount; ++i)
        if (strcasecmp(g_vital[i], file) == 0) return;
    if (g_vitalCount < kMaxVital) std::memcpy(g_vital[g_vitalCount++], file, sizeof file);
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

bool CdFaultsPastCount() {
    const std::lock_guard<std::mutex> lock(g_mutex);
    return g_overflow;
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
    g_overflow = false;
    g_vitalCount = 0;
}

}  // namespace console
