// The disc files loaded whole (x_LoadFileLength) and not yet freed, by address. Readers use their data
// in place, so a reader that refuses a part of one can name the disc file the part came from.
#pragma once

#include <cstdint>

#include "console/mem/format_check.h"

inline constexpr int kLoadedFileSlots = 64;  // the oldest is dropped when more are held

// Remembers that `length` bytes at `image` are the disc file `name`.
void x_NoteLoadedFile(const void* image, uint32_t length, const char* name);
// Forgets the file whose image starts at `image` (x_free calls it); anything else is ignored.
void x_ForgetLoadedFile(const void* image);
// "NAME: " for the held file whose bytes hold `p` (or that ends at `p`: an empty last sub-file), else "".
const char* x_FileOf(const void* p);
// A refusal of a part of a held file: the reason, formatted as printf does, logged as one line after the
// file's "NAME: " (x_FileOf(p)), and returned as the check's answer.
FormatCheck x_RefuseInFile(const void* p, const char* format, ...) __attribute__((format(printf, 2, 3)));
