// Loads packed master files whole and hands out pointers to their sub-files, used in place.
#pragma once

#include <cstdint>

#include "console/mem/format_check.h"

class CFileManager {
public:
    static CFileManager* fileManagerPtr;

    // The whole file in a new heap buffer, or null (missing, unreadable or not a valid master file).
    // The caller frees it with x_free.
    void* loadFile(const char* name);
    // Why the last loadFile gave null, for a message to the user: the disc's reason ("is missing", "cannot
    // be read: permission denied", ...), "could not be read (...)" or "is not a valid master file (...)";
    // empty after a load that worked.
    const char* lastRefusal() const { return refusal_; }

    // Lookups on a loaded image. Out of range (or a null image) gives null, a negative length or 0.
    int getSubFileCount(const void* image);
    void* loadSubFile(void* image, unsigned int index);
    int getSubFileLength(const void* image, unsigned int index);
    int getLabelIndex(const void* image, unsigned int label);
    int getSubfileCountForLabel(const void* image, unsigned int label);
    void* loadSubFileLabel(void* image, unsigned int label, unsigned int k);

private:
    char refusal_[kFormatWhyBytes + 40] = {};
};

// Lazily creates the process-wide file manager.
CFileManager* GetFileManager();
