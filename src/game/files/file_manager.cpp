#include "game/files/file_manager.h"

#include <cstdio>

#include "console/cd/disc_faults.h"
#include "console/mem/addr.h"
#include "engine/sys/files.h"
#include "engine/sys/heap.h"
#include "game/files/master_file_format.h"

using masterfile::ReadU32;

CFileManager* CFileManager::fileManagerPtr = nullptr;

CFileManager* GetFileManager() {
    if (!CFileManager::fileManagerPtr) CFileManager::fileManagerPtr = new CFileManager;
    return CFileManager::fileManagerPtr;
}

namespace {

// A loaded image was validated whole, so its own tables bound every lookup.
uint32_t LabelEntries(const void* image) {
    const uint32_t n = ReadU32(image, 0);
    const uint32_t firstData = ReadU32(image, masterfile::EntryOffset(0)) & masterfile::kOffsetMask;
    return (firstData - masterfile::LabelTableOffset(n)) / 4;
}

uint32_t LabelFirst(const void* image, uint32_t l) {
    return ReadU32(image, masterfile::LabelTableOffset(ReadU32(image, 0)) + 4 * l);
}

}  // namespace

void* CFileManager::loadFile(const char* name) {
    refusal_[0] = '\0';
    x_printf("filename %s\n", name);
    int length = 0;
    void* image = x_LoadFileLength(name, &length);
    const bool found = image != nullptr;
    if (image) {
        masterfile::Check check = masterfile::Validate(image, static_cast<uint32_t>(length));
        if (!check.ok) {
            x_printf("FileManager: ERROR: %s is not a valid master file: %s\n", name, check.why);
            std::snprintf(refusal_, sizeof refusal_, "is not a valid master file (%s)", check.why);
            // The game goes on without it, as without a missing file: the program tells the user.
            char why[sizeof refusal_];
            std::snprintf(why, sizeof why, "not a valid master file (%s)", check.why);
            console::CdReportDamaged(name, why);
            x_free(image);
            image = nullptr;
        }
    }
    x_printf("fileMem %d\n", image ? static_cast<int>(Addr32(image)) : 0);
    if (!found) {
        // The disc's reason when it gave one (the CD stand-in recorded it); else the heap could not hold it.
        const console::DiscFileFault* fault = console::CdFaultOf(name);
        if (fault)
            console::CdFaultReason(*fault, refusal_, sizeof refusal_);
        else
            std::snprintf(refusal_, sizeof refusal_,
                          "could not be read (missing, unreadable or larger than the "
                          "engine heap)");
        // The system's own line for a file that is not there; a file that is there says what kept it.
        const bool missing = fault && (fault->kind == console::DiscFault::kMissing ||
                                       fault->kind == console::DiscFault::kNotAFolder);
        if (missing)
            x_printf("FileManager: WARNING: %s does not exist!\n", name);
        else
            x_printf("FileManager: WARNING: %s %s!\n", name, refusal_);
    }
    return image;
}

int CFileManager::getSubFileCount(const void* image) {
    return image ? static_cast<int>(ReadU32(image, 0)) : 0;
}

void* CFileManager::loadSubFile(void* image, unsigned int index) {
    if (!image || index >= ReadU32(image, 0)) return nullptr;
    return static_cast<uint8_t*>(image) +
           (ReadU32(image, masterfile::EntryOffset(index)) & masterfile::kOffsetMask);
}

int CFileManager::getSubFileLength(const void* image, unsigned int index) {
    if (!image || index >= ReadU32(image, 0)) return -1;
    const uint32_t e = ReadU32(image, masterfile::EntryOffset(index));
    const uint32_t next = ReadU32(image, masterfile::EntryOffset(index + 1));
    return static_cast<int>((next & masterfile::kOffsetMask) - (e & masterfile::kOffsetMask) -
                            (e & masterfile::kPadMask));
}

int CFileManager::getLabelIndex(const void* image, unsigned int label) {
    if (!image || label >= LabelEntries(image)) return -1;
    return static_cast<int>(LabelFirst(image, label));
}

int CFileManager::getSubfileCountForLabel(const void* image, unsigned int label) {
    if (!image || label + 1 >= LabelEntries(image)) return 0;
    const uint32_t first = LabelFirst(image, label);
    const uint32_t end = LabelFirst(image, label + 1);
    return end > first ? static_cast<int>(end - first) : 0;
}

void* CFileManager::loadSubFileLabel(void* image, unsigned int label, unsigned int k) {
    if (k >= static_cast<unsigned int>(getSubfileCountForLabel(image, label))) return nullptr;
    return loadSubFile(image, LabelFirst(image, label) + k);
}
