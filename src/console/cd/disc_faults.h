// Disc files the game asked for and could not have, with the reason the host's file system gives (the
// disc is a host directory): missing, a folder where a file should be, a file where a folder should be,
// or refused by the system (permission denied); and files it read but refused whole as damaged, with the
// reason its check gave. The game goes on without such a file as it always did; the host program hears
// of each once, through a sink it installs, and recalls them at the end of the run.
// Everything here lives in fixed buffers: nothing comes from the engine heap, whose figures the log shows.
#pragma once

#include <cstddef>

namespace console {

enum class DiscFault {
    kNone,        // there and readable (a load failed for another reason)
    kMissing,     // no entry of that name (or no folder of that name on its way)
    kNotAFile,    // the name is a folder, or another kind of entry
    kNotAFolder,  // a name on its way is a file, not a folder
    kUnreadable,  // the system refused to open or read it, or a folder on its way (`error`)
    kDamaged,     // read whole, and refused whole by the game's check of it (`damage` says why)
};

struct DiscFileFault {
    DiscFault kind = DiscFault::kNone;
    // For kUnreadable: the system's error number; -1 when the file is shorter than when the disc was
    // mounted, 0 when a read failed with no reason known.
    int error = 0;
    bool atFolder = false;  // the fault lies with a folder on the way (`place` is that folder)
    bool isFolder = false;  // for kNotAFile: the entry is a folder
    char file[128] = {};    // the disc file as a path below the disc directory: "WORLD/i03.bin"
    char place[1024] = {};  // host path of the entry at fault (the file, or the folder)
    char part[128] = {};    // the name of that entry, as found on the disc (or as asked, when missing)
    char damage[256] = {};  // for kDamaged: what the check found wrong ("sub-file offset past the end ...")
};

// Why the disc file `discName` ("WORLD\i03.bin", "\AUDIO\TITLE.STM;1", "cdrom0:\...") cannot be had from
// the disc directory `root`: looked up as the CD stand-in looks it up (names matched case-insensitively).
// Uses what the mounted disc learnt when it read the file (a failed open or read) when `root` is the
// mounted disc's.
DiscFileFault CdFileFault(const char* root, const char* discName);

// The reason as the end of a sentence whose subject is the file: "is missing", "is missing (no folder
// WORLD)", "is missing: WORLD is a file, not a folder", "is not a file (a folder)", "cannot be read:
// permission denied", "cannot be read: permission denied on the folder WORLD", "is damaged: sub-file
// offset past the end of the file", "could not be read".
const char* CdFaultReason(const DiscFileFault& fault, char* out, size_t size);

// What the user can do about it: for a permission fault the command that lets the program read the
// entry; otherwise the remaking advice the host gave (CdSetRemakeAdvice). A null fault gives the
// remaking advice (as for a damaged file).
const char* CdFaultAdvice(const DiscFileFault* fault, char* out, size_t size);
// How to get a whole disc again, as the host knows it (the build tree's disc is rebuilt by 'make disc';
// another directory is written again by mkdisc). Default: "rebuild the disc ('make disc')".
void CdSetRemakeAdvice(const char* advice);

// The game could not have the disc file `discName`: records it with its reason, once per file, and
// hands it to the sink (but for a file the run stops without, see CdSetVital). Does nothing while no
// disc is mounted.
void CdReportUnavailable(const char* discName);
// The game read the disc file `discName` and refused it whole as damaged, for the reason `why` (its
// check's words): recorded and handed to the sink as CdReportUnavailable does, once per file (a file
// already recorded, as unreadable or damaged, is not recorded again). Does nothing while no disc is
// mounted.
void CdReportDamaged(const char* discName, const char* why);
// The run stops without the disc file `discName` and says why itself, from the record (CdFaultOf): its
// fault is recorded but not handed to the sink, which tells of files the game goes on without. A few
// such files can be named; forgotten with the faults.
void CdSetVital(const char* discName);
using CdFaultSink = void (*)(const DiscFileFault& fault, void* user);
void CdSetFaultSink(CdFaultSink sink, void* user);
// The files recorded since the disc was mounted (CdMount and CdUnmount forget them), in the order met.
// A few hundred are kept; CdFaultsPastCount says whether further files were met and not recorded (nor
// handed to the sink).
int CdFaultCount();
bool CdFaultsPastCount();
const DiscFileFault* CdFaultAt(int index);
// The record of the disc file `discName`, or null when none was made.
const DiscFileFault* CdFaultOf(const char* discName);
// Forgets the files recorded (CdMount and CdUnmount call it).
void CdForgetFaults();

}  // namespace console
