#include "engine/sys/bitmap_format.h"

#include <cstring>

_FS_BITMAP MakeBitmapHeader(const BitmapImage& image) {
    _FS_BITMAP h;
    std::memset(&h, 0, sizeof h);
    h.width = image.width;
    h.height = image.height;
    h.numColors = static_cast<uint32_t>(image.palette.size());
    h.bitsPerPixel = image.bitsPerPixel;
    h.palettized = image.palette.empty() ? 0 : 1;
    std::memcpy(h.id, kBitmapMagic, sizeof kBitmapMagic);
    std::strncpy(h.texName, image.texName.c_str(), sizeof h.texName - 1);
    h.pixdata = static_cast<uint32_t>(image.extension.size());
    return h;
}

std::vector<uint8_t> WriteBitmap(const BitmapImage& image) {
    const _FS_BITMAP h = MakeBitmapHeader(image);
    FsBitmapLayout l;
    if (image.extension.size() > kBitmapMaxExtension) return {};
    if (fsBitmapLayout(&h, UINT64_MAX, &l) != FS_BITMAP_OK) return {};
    if (image.pixels.size() != l.pixelBytes) return {};

    std::vector<uint8_t> out(l.fileBytes, 0);
    std::memcpy(out.data(), &h, sizeof h);
    uint8_t* p = out.data() + sizeof h;
    if (!image.extension.empty()) std::memcpy(p, image.extension.data(), image.extension.size());
    p += image.extension.size();
    std::memcpy(p, image.pixels.data(), image.pixels.size());
    for (size_t i = 0; i < image.palette.size(); ++i) {
        const uint32_t c = image.palette[i];
        uint8_t* e = p + l.paletteOffset + 4 * i;
        e[0] = static_cast<uint8_t>(c);
        e[1] = static_cast<uint8_t>(c >> 8);
        e[2] = static_cast<uint8_t>(c >> 16);
        e[3] = static_cast<uint8_t>(c >> 24);
    }
    return out;
}
