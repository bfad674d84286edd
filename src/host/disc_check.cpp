#include "host/disc_check.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace host {

const char* const kDiscFilesNeeded[] = {
    "SYSTEM/SIO2MAN.IRX", "SYSTEM/MTAPMAN.IRX",  "SYSTEM/PADMAN.IRX",
    "SYSTEM/MCMAN.IRX",   "SYSTEM/MCSERV.IRX",   "SYSTEM/LIBSD.IRX",
    "SYSTEM/SDRDRV.IRX",  "SYSTEM/BRNX_AMM.IRX", "COMMON/qz02dat.bin",
};
const int kDiscFilesNeededCount = static_cast<int>(sizeof kDiscFilesNeeded / sizeof kDiscFilesNeeded[0]);

namespace {

// Whether `dir` has an entry named `name` (case-insensitively, as the disc matches names) of the kind
// asked for; the name found is written to `found`. Reads the directory itself: nothing of this may come
// from the engine heap, whose layout the game's log shows.
bool HasEntry(const char* dir, const char* name, bool wantDir, char* found, size_t foundSize) {
    DIR* d = opendir(dir);
    if (!d) return false;
    bool ok = false;
    while (dirent* e = readdir(d)) {
        if (strcasecmp(e->d_name, name) != 0) continue;
        char path[4096];
        std::snprintf(path, sizeof path, "%s/%s", dir, e->d_name);
        struct stat st;
        if (stat(path, &st) != 0 || S_ISDIR(st.st_mode) != wantDir) continue;
        std::snprintf(found, foundSize, "%s", path);
        ok = true;
        break;
    }
    closedir(d);
    return ok;
}

// Whether the directory `path` would be made in exists (a file system such as /proc refuses new
// directories with the same error as a missing parent).
bool ParentExists(const char* path) {
    char parent[4096];
    std::snprintf(parent, sizeof parent, "%s", path);
    size_t end = std::strlen(parent);
    while (end > 1 && parent[end - 1] == '/') parent[--end] = '\0';
    char* slash = std::strrchr(parent, '/');
    if (!slash) return true;  // the current directory
    slash[slash == parent ? 1 : 0] = '\0';
    struct stat st;
    return stat(parent, &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

const char* MissingDiscFile(const char* discDir) {
    for (const char* name : kDiscFilesNeeded) {
        const char* slash = std::strchr(name, '/');
        char folder[64], file[64], folderPath[4096], filePath[4096];
        std::snprintf(folder, sizeof folder, "%.*s", static_cast<int>(slash - name), name);
        std::snprintf(file, sizeof file, "%s", slash + 1);
        if (!HasEntry(discDir, folder, true, folderPath, sizeof folderPath) ||
            !HasEntry(folderPath, file, false, filePath, sizeof filePath))
            return name;
    }
    return nullptr;
}

bool NeededDiscFilesReadable(const char* discDir, Error* error) {
    for (const char* name : kDiscFilesNeeded) {
        const console::DiscFileFault f = console::CdFileFault(discDir, name);
        if (f.kind == console::DiscFault::kNone || f.kind == console::DiscFault::kMissing) continue;
        char reason[256], advice[1200];
        return error->Set("'%s' cannot be used as the disc: %s %s; %s", discDir, f.file,
                          console::CdFaultReason(f, reason, sizeof reason),
                          console::CdFaultAdvice(&f, advice, sizeof advice));
    }
    return true;
}

void SetRemakeAdvice(const char* discDir, const char* defaultDisc) {
    char disc[PATH_MAX], built[PATH_MAX];
    if (realpath(discDir, disc) && realpath(defaultDisc, built) && std::strcmp(disc, built) == 0) {
        console::CdSetRemakeAdvice("rebuild the disc ('make disc')");
        return;
    }
    // 'make disc' writes only the build tree's disc: another directory is written again by mkdisc,
    // which the build puts beside this program.
    const char* mkdisc = "mkdisc";
    char beside[PATH_MAX + 8];
    const ssize_t n = readlink("/proc/self/exe", beside, PATH_MAX - 1);
    if (n > 0) {
        beside[n] = '\0';
        if (char* slash = std::strrchr(beside, '/')) {
            std::memcpy(slash, "/mkdisc", sizeof "/mkdisc");
            if (access(beside, X_OK) == 0) mkdisc = beside;
        }
    }
    char advice[2 * PATH_MAX + 64];
    std::snprintf(advice, sizeof advice, "write the disc again with mkdisc ('%s %s')", mkdisc, discDir);
    console::CdSetRemakeAdvice(advice);
}

void DescribeDiscFault(const console::DiscFileFault& fault, Error* out) {
    char reason[256], advice[1200];
    out->Set("disc file %s %s; the game goes on without it; %s", fault.file,
             console::CdFaultReason(fault, reason, sizeof reason),
             console::CdFaultAdvice(&fault, advice, sizeof advice));
}

bool RecallDiscFaults(Error* out) {
    const int count = console::CdFaultCount();
    if (count == 0) return false;
    char names[400] = "";
    size_t used = 0;
    for (int i = 0; i < count && used < sizeof names; ++i) {
        const int n = std::snprintf(names + used, sizeof names - used, "%s%s", i ? ", " : "",
                                    console::CdFaultAt(i)->file);
        if (n < 0) break;
        used += static_cast<size_t>(n);
    }
    if (used >= sizeof names) std::snprintf(names + sizeof names - 5, 5, "...");
    if (console::CdFaultsPastCount())  // those past the record were not named
        out->Set(
            "the run went on without more than %d disc files it could not read or use (%d named above): %s",
            count, count, names);
    else
        out->Set("the run went on without %d disc file%s it could not read or use (each named above): %s",
                 count, count == 1 ? "" : "s", names);
    return true;
}

bool PrepareOutputDirectory(const char* dir, Error* error) {
    struct stat st;
    if (stat(dir, &st) == 0 && !S_ISDIR(st.st_mode))
        return error->Set(
            "--out '%s' is a file, not a directory; give a directory for the frames and diagnostic files",
            dir);
    if (stat(dir, &st) != 0 && mkdir(dir, 0755) != 0) {
        const int why = errno;
        return error->Set("output directory '%s' cannot be created: %s%s", dir, std::strerror(why),
                          why == ENOENT && !ParentExists(dir) ? " (the directory it is in must exist)" : "");
    }
    // A file made and removed again: a directory without write permission, on a read-only file system or
    // full of inodes says so now.
    char probe[4200];
    std::snprintf(probe, sizeof probe, "%s/.qz-write-check-%ld", dir, static_cast<long>(getpid()));
    const int fd = open(probe, O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0) return error->Set("output directory '%s' cannot be written: %s", dir, std::strerror(errno));
    close(fd);
    unlink(probe);
    return true;
}

}  // namespace host
