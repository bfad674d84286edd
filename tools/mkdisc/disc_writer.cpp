#include "mkdisc/disc_writer.h"

#include <sys/stat.h>

#include <cstdio>
#include <cerrno>
#include <cstring>
#include <vector>

#include "mkdisc/master_file_writer.h"

namespace {

bool MakeDirs(const std::string& path) {
    std::string cur;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') {
            if (!cur.empty() && mkdir(cur.c_str(), 0755) != 0 && errno != EEXIST) return false;
        }
        if (i < path.size()) cur += path[i];
    }
    return true;
}

bool WriteFile(const std::string& dir, const std::string& rel, const void* data, size_t size) {
    std::string path = dir + "/" + rel;
    size_t slash = path.rfind('/');
    if (!MakeDirs(path.substr(0, slash))) {
        std::fprintf(stderr, "mkdisc: cannot create directory for %s\n", path.c_str());
        return false;
    }
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "mkdisc: cannot write %s\n", path.c_str());
        return false;
    }
    bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
    ok = std::fclose(f) == 0 && ok;
    if (!ok) std::fprintf(stderr, "mkdisc: error writing %s\n", path.c_str());
    return ok;
}

bool WriteText(const std::string& dir, const std::string& rel, const std::string& text) {
    return WriteFile(dir, rel, text.data(), text.size());
}

// The I/O processor's modules: the stand-in only needs them present.
bool WriteSystemFiles(const std::string& dir) {
    static const char* const kFiles[] = {"IOPRP22.IMG", "SIO2MAN.IRX", "MTAPMAN.IRX", "PADMAN.IRX", "MCMAN.IRX",
                                         "MCSERV.IRX",  "LIBSD.IRX",   "SDRDRV.IRX",  "BRNX_AMM.IRX"};
    for (const char* name : kFiles) {
        std::string text = std::string("qz sample disc: I/O processor module ") + name + "\n";
        if (!WriteText(dir, std::string("SYSTEM/") + name, text)) return false;
    }
    return true;
}

// Volumes (music a, music b, engine, checkpoint, collision, landing, announcer, crowd), announcer and
// crowd frequencies, then the three group limits.
bool WriteSoundTuning(const std::string& dir) {
    return WriteText(dir, "AUDIO/sound.txt",
                     "1.000000 1.000000 1.000000 1.000000 1.000000 1.000000 1.000000 1.000000 "
                     "1.000000 1.000000 8 8 8\n");
}

// The common-objects master file. Its sub-files are filled in as the readers of each kind exist;
// until then a slot holds a short tagged placeholder.
bool WriteCommonObjects(const std::string& dir) {
    MasterFileWriter w;
    w.beginLabel();
    const int kCommonSubFiles = 213;
    for (int i = 0; i < kCommonSubFiles; ++i) {
        char tag[32];
        int n = std::snprintf(tag, sizeof tag, "qz common %03d", i);
        w.add(tag, static_cast<size_t>(n));
    }
    std::vector<uint8_t> image = w.build();
    return WriteFile(dir, "COMMON/qz02dat.bin", image.data(), image.size());
}

}  // namespace

bool WriteSampleDisc(const std::string& dir) {
    if (!MakeDirs(dir)) {
        std::fprintf(stderr, "mkdisc: cannot create %s\n", dir.c_str());
        return false;
    }
    return WriteSystemFiles(dir) && WriteSoundTuning(dir) && WriteCommonObjects(dir);
}
