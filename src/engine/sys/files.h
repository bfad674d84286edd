// Files and console output. Reads go through a table of driver functions; the installed driver is the
// CD file layer: at most 8 open files, disc names in upper case with the ";1" version suffix, whole
// 2048-byte sectors read through two 16-sector buffers that double as a small read cache. Files opened
// for writing go to the host's output directory (the disc cannot be written).
#pragma once

#include <cstdarg>
#include <cstdint>

#include "console/cd/cd.h"

struct X_FILE;  // opaque: a CD file record or a host output file

// One open file of the CD layer.
struct PS2File {
    sceCdlFILE entry;
    int position;
    int inUse;
    char path[256];
    int index;
};

inline constexpr int kPs2FileCount = 8;
inline constexpr int kReadBufferSectors = 16;
inline constexpr int kReadBufferBytes = kReadBufferSectors * 2048;
inline constexpr int kConsoleBufSize = 512;

// The driver table.
struct XIODriver {
    void (*FnPrint)(const char* text);
    void (*FnPrintAt)(const char* text, int x, int y);
    X_FILE* (*FnOpen)(const char* name, const char* mode);
    void (*FnClose)(X_FILE* f);
    int (*FnRead)(void* dst, int size, int count, X_FILE* f);
    int (*FnWrite)(const void* src, int size, int count, X_FILE* f);
    int (*FnSeek)(X_FILE* f, int offset, int whence);
    int (*FnTell)(X_FILE* f);
    int (*FnEOF)(X_FILE* f);
};

void x_InitSTDIO();
// The installed table; tests may replace FnPrint to capture the console log.
XIODriver* x_GetIODriver();

X_FILE* x_fopen(const char* name, const char* mode);
void x_fclose(X_FILE* f);
int x_fread(void* dst, int size, int count, X_FILE* f);
int x_fwrite(const void* src, int size, int count, X_FILE* f);
int x_fseek(X_FILE* f, int offset, int whence);
int x_ftell(X_FILE* f);
int x_feof(X_FILE* f);
// A disc file loaded whole into a new heap buffer, or null. A file missing or unreadable is reported
// to the CD stand-in's record of unavailable files (console/cd/disc_faults.h) with its reason.
void* x_LoadFile(const char* name);
void* x_LoadFileLength(const char* name, int* length);

int x_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
int x_printfxy(int x, int y, const char* format, ...) __attribute__((format(printf, 3, 4)));
int x_sprintf(char* dst, const char* format, ...) __attribute__((format(printf, 2, 3)));
int x_vsprintf(char* dst, const char* format, va_list args);
int x_fprintf(X_FILE* f, const char* format, ...) __attribute__((format(printf, 2, 3)));
char* fs(const char* format, ...) __attribute__((format(printf, 1, 2)));

void x_DebugFontInit();
void* x_DebugFontGet();

// The CD layer itself.
X_FILE* PS2CD_Open(const char* name, const char* mode);
void PS2CD_Close(X_FILE* f);
int PS2CD_Read(void* dst, int size, int count, X_FILE* f);
int PS2CD_Write(const void* src, int size, int count, X_FILE* f);
int PS2CD_Seek(X_FILE* f, int offset, int whence);
int PS2CD_Tell(X_FILE* f);
int PS2CD_EOF(X_FILE* f);
// Marks every file record free and makes buffer 0 the most recently used (the boot's CD init).
void PS2CD_ResetFiles();

// Read-only views of the CD layer's state, for tests.
const PS2File* PS2CD_FileRecord(int index);
int PS2CD_LRUBuffer();
int64_t PS2CD_BufferSector(int buffer);
int PS2CD_LastCDError();
