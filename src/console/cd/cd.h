// Stand-in for the console's CD library. The disc is a host directory: "\DIR\NAME.EXT;1" is the file
// DIR/NAME.EXT under it, matched case-insensitively. Files are laid out one after another in 2048-byte
// sectors, in the order of their upper-cased paths, so sector numbers are the same on every run.
#pragma once

#include <cstdint>

inline constexpr uint32_t kCdSectorSize = 2048;

struct sceCdlFILE {
    uint32_t lsn;   // first logical sector
    uint32_t size;  // bytes
    char name[16];
    uint8_t date[8];
};

struct sceCdRMode {
    uint8_t trycount;
    uint8_t spindlctrl;
    uint8_t datapattern;
    uint8_t pad;
};

inline constexpr int SCECdSpinNom = 1;
inline constexpr int SCECdSecS2048 = 0;
inline constexpr int SCECdDVD = 0x14;  // disc type reported for the mounted directory

int sceCdInit(int mode);
int sceCdMmode(int media);
int sceCdDiskReady(int mode);
// 1 when found (entry filled), 0 otherwise.
int sceCdSearchFile(sceCdlFILE* entry, const char* name);
// 1 when the read was accepted. Sectors past a file's end read as whatever follows (the next file's
// sectors, or zeros past the last file), as a real disc does. The read is one of the file holding its
// first sector: only that file's faults fail it; another file's sectors that cannot be read come back
// as zeros (CdLastReadIntact says where they begin).
int sceCdRead(uint32_t lsn, uint32_t sectors, void* buf, sceCdRMode* mode);
// 0 when the last read succeeded, otherwise the error status.
int sceCdSync(int mode);
int sceCdGetDiskType();

namespace console {

// Mounts a host directory as the disc: its folders and files, eight folders deep at most; a link is
// followed wherever it leads, but never back into a folder on its own way. False when it is not a
// directory or holds more than a disc can (CdMountRefusal says which, and names the link that led out of
// the directory to what was too much, when one did).
bool CdMount(const char* dir);
// Why the last CdMount refused, as the end of a sentence about the directory ("holds more than ...").
const char* CdMountRefusal();
// The link on the disc that led the last refused mount out of the directory to more than a disc holds
// (its host path; `target`: where it leads), or null when the directory itself held too much.
const char* CdMountRefusalLink(const char** target);
void CdUnmount();
bool CdMounted();
const char* CdRoot();
// Number of sceCdRead calls that reached the drive (tests use it to see cache hits).
uint64_t CdReadCount();
// How many sectors from the start of the last sceCdRead hold what the disc holds: the read's count
// unless another file's sectors in it could not be read and stand as zeros.
uint32_t CdLastReadIntact();
// The next `count` reads fail: sceCdSync then reports an error status.
void CdInjectReadErrors(int count);
// Host path of a disc file found by sceCdSearchFile-style name, or false.
bool CdHostPath(const char* discName, char* out, int outSize);
// What the last failed read of a mounted disc file met: the system's error number on opening or reading
// it, -1 when it had become shorter than when the disc was mounted; 0 when none failed (or no such file).
int CdReadErrorOf(const char* discName);

}  // namespace console
