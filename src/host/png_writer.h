// Writes 8-bit RGB or RGBA pixel rows to a PNG file (libpng).
#pragma once

#include <cstddef>
#include <string>

#include "host/error.h"

namespace host {

// The file is written as PngTempName(path) in the same folder and renamed to `path` once whole, so a
// PNG of that name is always complete.
// `pixels` holds `height` rows of `width` pixels, `channels` (3 = RGB, 4 = RGBA) bytes each, top row first.
// With `dropAlpha` an RGBA buffer is written as RGB. Returns false when the arguments are
// invalid or the file cannot be written (a partial file is removed).
bool WritePng(const std::string& path, const unsigned char* pixels, int width, int height, int channels,
              bool dropAlpha, Error* error);

std::string PngTempName(const std::string& path);
// From a signal handler (async-signal-safe): removes the temporary file of a PNG being written, if any.
void RemovePngInProgress();

}  // namespace host
