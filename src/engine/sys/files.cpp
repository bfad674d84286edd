#include "engine/sys/files.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "console/cd/disc_faults.h"
#include "console/cd/host_output.h"
#include "engine/sys/heap.h"
#include "engine/sys/loaded_files.h"

namespace {

// A record holds nothing until the sector it names has been read into it.
constexpr int64_t kNoSector = -(1ll << 40);

struct OutFile {
    std::FILE* fp;
    int inUse;
};
constexpr int kOutFileCount = 4;

XIODriver g_driver;
int g_stdioInitialized = 0;

PS2File g_files[kPs2FileCount];
OutFile g_outFiles[kOutFileCount];

alignas(64) uint8_t ReadBufferA[kReadBufferBytes];
alignas(64) uint8_t ReadBufferB[kReadBufferBytes];
int64_t RBufASector = kNoSector;
int64_t RBufBSector = kNoSector;
uint8_t* const ReadBuffer[2] = {ReadBufferA, ReadBufferB};
int64_t* const ReadBufferSector[2] = {&RBufASector, &RBufBSector};
// Sectors of each buffer that hold what the disc holds: a chunk runs on past the file it was read for,
// and another file's sectors there that could not be read stand as zeros the cache must not hand out.
int64_t ReadBufferIntact[2] = {0, 0};
int LRUBuffer = 0;
int LastCDError = 0;

char Buf[kConsoleBufSize];
int StrLen = 0;

PS2File* AsCd(X_FILE* f) {
    auto* p = reinterpret_cast<PS2File*>(f);
    if (p >= g_files && p < g_files + kPs2FileCount) return p;
    return nullptr;
}

OutFile* AsOut(X_FILE* f) {
    auto* p = reinterpret_cast<OutFile*>(f);
    if (p >= g_outFiles && p < g_outFiles + kOutFileCount) return p;
    return nullptr;
}

void ConsolePrint(const char* text) {
    std::fputs(text, stdout);
}
void DebugFontPrint(const char*, int, int) {}

int VFormat(const char* format, va_list args) {
    int n = std::vsnprintf(Buf, sizeof Buf, format, args);
    // Longer texts are cut to the buffer; the length reported is what the buffer holds.
    if (n < 0) n = 0;
    if (n >= kConsoleBufSize) n = kConsoleBufSize - 1;
    StrLen = n;
    return n;
}

sceCdRMode ReadMode() {
    sceCdRMode m{};
    m.trycount = 5;
    m.spindlctrl = SCECdSpinNom;
    m.datapattern = SCECdSecS2048;
    return m;
}

bool ReadChunk(int buffer, int64_t lsn, sceCdRMode* mode) {
    *ReadBufferSector[buffer] = kNoSector;
    ReadBufferIntact[buffer] = 0;
    if (sceCdRead(static_cast<uint32_t>(lsn), kReadBufferSectors, ReadBuffer[buffer], mode) != 1)
        return false;
    LastCDError = sceCdSync(0);
    if (LastCDError != 0) return false;
    *ReadBufferSector[buffer] = lsn;
    ReadBufferIntact[buffer] = std::min<int64_t>(kReadBufferSectors, console::CdLastReadIntact());
    return true;
}

// Reads `count` sectors from `first` into dst, skipping the start of the first sector so that only
// `firstBytes` of it are copied, and keeping `endRemainder` bytes of the last (0: all of it). Chunks
// are always read whole, which leaves the last two chunks in the buffers for later reads.
bool ReadSectorsBuffered(int64_t first, int64_t count, uint8_t* dst, sceCdRMode* mode, int firstBytes,
                         int endRemainder) {
    if (count <= 0) return true;
    const int lastBytes = endRemainder ? endRemainder : 2048;
    if ((reinterpret_cast<uintptr_t>(dst) & 63) == 0 && firstBytes == 2048 && endRemainder == 0) {
        x_printf(" (pure aligned read)\n");
        if (sceCdRead(static_cast<uint32_t>(first), static_cast<uint32_t>(count), dst, mode) != 1)
            return false;
        LastCDError = sceCdSync(0);
        return LastCDError == 0;
    }
    const int64_t last = first + count - 1;
    int64_t lsn = first;
    if (!ReadChunk(LRUBuffer, lsn, mode)) return false;
    int skip = firstBytes == 2048 ? 0 : 2048 - firstBytes;
    int64_t chunkBytes = count <= kReadBufferSectors ? (count - 1) * 2048 + lastBytes : kReadBufferBytes;
    lsn += kReadBufferSectors;
    while (lsn <= last) {
        int prev = LRUBuffer;
        LRUBuffer = 1 - LRUBuffer;
        bool ok = ReadChunk(LRUBuffer, lsn, mode);
        std::memcpy(dst, ReadBuffer[prev] + skip, static_cast<size_t>(chunkBytes - skip));
        dst += chunkBytes - skip;
        if (!ok) return false;
        chunkBytes = last >= lsn + kReadBufferSectors ? kReadBufferBytes : (last - lsn) * 2048 + lastBytes;
        skip = 0;
        lsn += kReadBufferSectors;
    }
    std::memcpy(dst, ReadBuffer[LRUBuffer] + skip, static_cast<size_t>(chunkBytes - skip));
    return true;
}

}  // namespace

// ---- the CD driver ----

void PS2CD_ResetFiles() {
    for (int i = 0; i < kPs2FileCount; ++i) {
        std::memset(&g_files[i], 0, sizeof g_files[i]);
        g_files[i].index = i;
    }
    LRUBuffer = 0;
    RBufASector = kNoSector;
    RBufBSector = kNoSector;
    ReadBufferIntact[0] = ReadBufferIntact[1] = 0;
}

X_FILE* PS2CD_Open(const char* name, const char* mode) {
    if (!name) return nullptr;
    PS2File* rec = nullptr;
    for (PS2File& f : g_files)
        if (!f.inUse) {
            rec = &f;
            break;
        }
    if (!rec) return nullptr;

    // Disc name: leading backslash, "//" becomes a backslash, upper case, version ";1".
    char work[1024];
    size_t n = 0;
    if (name[0] != '\\' && name[0] != '/') work[n++] = '\\';
    for (const char* p = name; *p; ++p) {
        if (n + 3 >= sizeof work) return nullptr;  // no room for the name and ";1"
        if (p[0] == '/' && p[1] == '/') {
            work[n++] = '\\';
            ++p;
        } else {
            work[n++] = *p;
        }
    }
    work[n] = 0;
    for (char* p = work; *p; ++p)
        if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
    std::strcat(work, ";1");
    int pathLen = std::snprintf(rec->path, sizeof rec->path, "cdrom0:%s", work);
    if (pathLen < 0 || pathLen >= static_cast<int>(sizeof rec->path)) {
        rec->path[0] = 0;
        return nullptr;
    }

    bool found = false;
    while (sceCdDiskReady(0) != 2) {
    }
    for (int attempt = 0; attempt < 5 && !found; ++attempt) found = sceCdSearchFile(&rec->entry, work) == 1;
    if (!found) return nullptr;
    rec->inUse = 1;
    rec->position = 0;
    return reinterpret_cast<X_FILE*>(rec);
}

void PS2CD_Close(X_FILE* f) {
    PS2File* rec = AsCd(f);
    if (!rec) return;
    rec->inUse = 0;
    rec->position = 0;
}

int PS2CD_Read(void* dst, int size, int count, X_FILE* f) {
    PS2File* rec = AsCd(f);
    if (!rec || !rec->inUse || !dst || size <= 0 || count <= 0) return 0;
    const int64_t fileSize = rec->entry.size;
    // A position before the file's start (a seek back past it) reads nothing rather than earlier sectors.
    if (rec->position < 0 || rec->position >= fileSize) return 0;
    int64_t bytes = static_cast<int64_t>(size) * count;
    if (rec->position + bytes > fileSize) bytes = fileSize - rec->position;
    if (bytes <= 0) return 0;

    const int64_t A = static_cast<int64_t>(rec->entry.lsn) * 2048 + rec->position;
    int64_t F = rec->entry.lsn + rec->position / 2048;
    int O = rec->position % 2048;
    const int64_t E = A + bytes;
    const int64_t L = E / 2048 - (E % 2048 == 0 ? 1 : 0);
    int64_t N = L - F + 1;
    const int R = static_cast<int>(E % 2048);
    auto* out = static_cast<uint8_t*>(dst);

    for (int b = 0; b < 2; ++b) {
        const int64_t B = *ReadBufferSector[b];
        if (!(B <= F && F < B + ReadBufferIntact[b])) continue;
        const uint8_t* src = ReadBuffer[b] + (F - B) * 2048 + O;
        if (L < B + ReadBufferIntact[b]) {
            x_printf("PS2CD: Full cache hit\n");
            std::memcpy(out, src, static_cast<size_t>(bytes));
            rec->position += static_cast<int>(bytes);
            return static_cast<int>(bytes / size);
        }
        const int64_t k = ReadBufferIntact[b] - (F - B);
        const int64_t copied = k * 2048 - O;
        std::memcpy(out, src, static_cast<size_t>(copied));
        x_printf("PS2CD: Partial cache hit [%ld of %ld]\n", static_cast<long>(copied),
                 static_cast<long>(bytes));
        out += copied;
        // On from the first sector the buffer lacks: a chunk that met another file's unreadable sectors
        // holds fewer than it was read with.
        F += k;
        O = 0;
        N -= k;
        break;
    }

    sceCdRMode mode = ReadMode();
    if (!ReadSectorsBuffered(F, N, out, &mode, 2048 - O, R)) return 0;
    LastCDError = sceCdSync(0);
    if (LastCDError != 0) return 0;
    rec->position += static_cast<int>(bytes);
    return static_cast<int>(bytes / size);
}

int PS2CD_Write(const void*, int, int, X_FILE*) {
    return 0;
}

int PS2CD_Seek(X_FILE* f, int offset, int whence) {
    PS2File* rec = AsCd(f);
    if (!rec) return 0;
    if (whence == 0)
        rec->position = offset;
    else if (whence == 1)
        rec->position += offset;
    else if (whence == 2)
        rec->position = static_cast<int>(rec->entry.size) - offset;
    return 0;
}

int PS2CD_Tell(X_FILE* f) {
    PS2File* rec = AsCd(f);
    return rec ? rec->position : 0;
}

int PS2CD_EOF(X_FILE* f) {
    PS2File* rec = AsCd(f);
    return rec && rec->position == static_cast<int>(rec->entry.size) ? 1 : 0;
}

const PS2File* PS2CD_FileRecord(int index) {
    return index >= 0 && index < kPs2FileCount ? &g_files[index] : nullptr;
}
int PS2CD_LRUBuffer() {
    return LRUBuffer;
}
int64_t PS2CD_BufferSector(int buffer) {
    return buffer == 0 ? RBufASector : RBufBSector;
}
int PS2CD_LastCDError() {
    return LastCDError;
}

// ---- the stdio layer ----

void x_InitSTDIO() {
    if (g_stdioInitialized++ > 0) return;
    g_driver.FnPrint = ConsolePrint;
    g_driver.FnPrintAt = DebugFontPrint;
    g_driver.FnOpen = PS2CD_Open;
    g_driver.FnClose = PS2CD_Close;
    g_driver.FnRead = PS2CD_Read;
    g_driver.FnWrite = PS2CD_Write;
    g_driver.FnSeek = PS2CD_Seek;
    g_driver.FnTell = PS2CD_Tell;
    g_driver.FnEOF = PS2CD_EOF;
}

XIODriver* x_GetIODriver() {
    return &g_driver;
}

X_FILE* x_fopen(const char* name, const char* mode) {
    if (mode && (std::strchr(mode, 'w') || std::strchr(mode, 'a'))) {
        for (OutFile& o : g_outFiles) {
            if (o.inUse) continue;
            o.fp = console::OutputOpen(name);
            if (!o.fp) return nullptr;
            o.inUse = 1;
            return reinterpret_cast<X_FILE*>(&o);
        }
        return nullptr;
    }
    return g_driver.FnOpen ? g_driver.FnOpen(name, mode) : nullptr;
}

void x_fclose(X_FILE* f) {
    if (!f) return;
    if (OutFile* o = AsOut(f)) {
        if (o->inUse && o->fp) std::fclose(o->fp);
        o->fp = nullptr;
        o->inUse = 0;
        return;
    }
    if (g_driver.FnClose) g_driver.FnClose(f);
}

int x_fread(void* dst, int size, int count, X_FILE* f) {
    if (!f || size <= 0 || count <= 0) return 0;
    if (AsOut(f)) return 0;
    return g_driver.FnRead ? g_driver.FnRead(dst, size, count, f) : 0;
}

int x_fwrite(const void* src, int size, int count, X_FILE* f) {
    if (!f || !src || size <= 0 || count <= 0) return 0;
    if (OutFile* o = AsOut(f)) {
        if (!o->inUse || !o->fp) return 0;
        return static_cast<int>(
            std::fwrite(src, static_cast<size_t>(size), static_cast<size_t>(count), o->fp));
    }
    return g_driver.FnWrite ? g_driver.FnWrite(src, size, count, f) : 0;
}

int x_fseek(X_FILE* f, int offset, int whence) {
    if (!f || AsOut(f)) return 0;
    return g_driver.FnSeek ? g_driver.FnSeek(f, offset, whence) : 0;
}

int x_ftell(X_FILE* f) {
    if (!f || AsOut(f)) return 0;
    return g_driver.FnTell ? g_driver.FnTell(f) : 0;
}

int x_feof(X_FILE* f) {
    if (!f || AsOut(f)) return 0;
    return g_driver.FnEOF ? g_driver.FnEOF(f) : 0;
}

void* x_LoadFileLength(const char* name, int* length) {
    X_FILE* f = x_fopen(name, "rb");
    if (!f) {
        // The game goes on without it, as its own log says; the program tells the user why.
        console::CdReportUnavailable(name);
        return nullptr;
    }
    x_fseek(f, 0, 2);
    int size = x_ftell(f);
    x_fseek(f, 0, 0);
    if (size < 0) {
        x_fclose(f);
        return nullptr;
    }
    void* buffer = x_fn_malloc(static_cast<uint32_t>(size), "", 0);
    if (!buffer) {
        x_fclose(f);
        return nullptr;
    }
    int got = size ? x_fread(buffer, 1, size, f) : 0;
    x_fclose(f);
    // A failed sector read must not hand back a buffer of garbage as if it were the file.
    if (got != size) {
        x_printf("x_LoadFile: read error on %s\n", name);
        x_free(buffer);
        console::CdReportUnavailable(name);
        return nullptr;
    }
    if (length) *length = size;
    x_NoteLoadedFile(buffer, static_cast<uint32_t>(size), name);
    return buffer;
}

void* x_LoadFile(const char* name) {
    return x_LoadFileLength(name, nullptr);
}

int x_printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    int n = VFormat(format, args);
    va_end(args);
    if (g_driver.FnPrint) g_driver.FnPrint(Buf);
    return n;
}

int x_printfxy(int x, int y, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int n = VFormat(format, args);
    va_end(args);
    if (g_driver.FnPrintAt) g_driver.FnPrintAt(Buf, x, y);
    return n;
}

int x_vsprintf(char* dst, const char* format, va_list args) {
    return std::vsprintf(dst, format, args);
}

int x_sprintf(char* dst, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int n = x_vsprintf(dst, format, args);
    va_end(args);
    StrLen = n;
    return n;
}

int x_fprintf(X_FILE* f, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int n = VFormat(format, args);
    va_end(args);
    return x_fwrite(Buf, 1, n, f);
}

char* fs(const char* format, ...) {
    va_list args;
    va_start(args, format);
    VFormat(format, args);
    va_end(args);
    return Buf;
}

void x_DebugFontInit() {}
void* x_DebugFontGet() {
    return nullptr;
}
