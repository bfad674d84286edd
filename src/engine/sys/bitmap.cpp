#include "engine/sys/bitmap.h"

#include <cstring>

#include "console/cd/disc_faults.h"
#include "engine/sys/files.h"
#include "engine/sys/heap.h"

namespace {

constexpr uint32_t kHeaderBytes = sizeof(_FS_BITMAP);

bool KnownDepth(uint32_t bits) {
    return bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

uint64_t RoundUp16(uint64_t v) {
    return (v + 15) & ~uint64_t{15};
}

// Logs why a graphics file was refused; the magic messages are the game's own.
void Report(FsBitmapResult r, const char* name, const _FS_BITMAP* h, uint64_t fileLength) {
    if (!name) name = "";
    switch (r) {
        case FS_BITMAP_OK:
            break;
        case FS_BITMAP_CANNOT_OPEN:
            x_printf("fsLoadBitmap: cannot open %s\n", name);
            break;
        case FS_BITMAP_OLD_STYLE:
            x_printf("File ->%s.. is an old-style Brannox Studios Graphics File.\n", name);
            break;
        case FS_BITMAP_NOT_VALID:
            x_printf("File ->%s.. is not a valid Brannox Studios Graphics File.....\n", name);
            break;
        case FS_BITMAP_TRUNCATED:
            x_printf("fsLoadBitmap: %s is truncated (%llu bytes)\n", name,
                     static_cast<unsigned long long>(fileLength));
            break;
        case FS_BITMAP_BAD_SIZE:
            x_printf("fsLoadBitmap: %s has a bad size (%ux%u, %u bits, %u colours)\n", name, h ? h->width : 0,
                     h ? h->height : 0, h ? h->bitsPerPixel : 0, h ? h->numColors : 0);
            break;
        case FS_BITMAP_NO_MEMORY:
            x_printf("fsLoadBitmap: no memory for %s\n", name);
            break;
        case FS_BITMAP_CANNOT_READ:
            x_printf("fsLoadBitmap: cannot read %s\n", name);
            break;
    }
}

// What a failed load tells of the disc file: that it could not be read, or that it was read and refused
// whole for what it holds. The game goes on without the picture either way; the user hears why.
void ReportToDisc(FsBitmapResult r, const char* name) {
    if (r == FS_BITMAP_CANNOT_READ)
        console::CdReportUnavailable(name);
    else if (r == FS_BITMAP_TRUNCATED || r == FS_BITMAP_OLD_STYLE || r == FS_BITMAP_NOT_VALID ||
             r == FS_BITMAP_BAD_SIZE)
        console::CdReportDamaged(name, fsBitmapResultText(r));
}

void ClearPointers(_FS_BITMAP* h) {
    h->pixdata = 0;
    h->coldata = 0;
}

}  // namespace

uint64_t fsBitmapPixelBytes(const _FS_BITMAP* h) {
    const uint64_t pixels = static_cast<uint64_t>(h->width) * h->height;
    if (h->bitsPerPixel == 4) return pixels / 2;
    return pixels * (h->bitsPerPixel / 8u);
}

FsBitmapResult fsBitmapLayout(const _FS_BITMAP* h, uint64_t fileLength, FsBitmapLayout* layout) {
    if (std::memcmp(h->id, kBitmapOldMagic, 15) == 0) return FS_BITMAP_OLD_STYLE;
    if (std::memcmp(h->id, kBitmapMagic, kBitmapMagicCheckLength) != 0) return FS_BITMAP_NOT_VALID;
    if (h->width == 0 || h->height == 0 || h->width > kBitmapMaxDimension ||
        h->height > kBitmapMaxDimension || !KnownDepth(h->bitsPerPixel)) {
        return FS_BITMAP_BAD_SIZE;
    }
    const uint64_t p = fsBitmapPixelBytes(h);
    if (p == 0) return FS_BITMAP_BAD_SIZE;  // a 1x1 image at 4 bits has no whole byte
    const uint64_t paletteOffset = h->palettized ? RoundUp16(p) : p;
    const uint64_t paletteBytes = h->palettized ? static_cast<uint64_t>(h->numColors) * 4 : 0;
    const uint64_t data = paletteOffset + paletteBytes;
    const uint64_t ext = h->pixdata;
    const uint64_t file = kHeaderBytes + ext + data;
    // Everything must fit a heap block and a file position; past that the file cannot hold it anyway.
    if (file > 0x7FFFFFFFu) return FS_BITMAP_BAD_SIZE;
    if (fileLength < file) return FS_BITMAP_TRUNCATED;
    if (layout) {
        layout->extensionBytes = static_cast<uint32_t>(ext);
        layout->pixelBytes = static_cast<uint32_t>(p);
        layout->paletteOffset = static_cast<uint32_t>(paletteOffset);
        layout->paletteBytes = static_cast<uint32_t>(paletteBytes);
        layout->dataBytes = static_cast<uint32_t>(data);
        layout->fileBytes = static_cast<uint32_t>(file);
    }
    return FS_BITMAP_OK;
}

const char* fsBitmapResultText(FsBitmapResult r) {
    switch (r) {
        case FS_BITMAP_OK:
            return "";
        case FS_BITMAP_CANNOT_OPEN:
            return "cannot be opened";
        case FS_BITMAP_TRUNCATED:
            return "shorter than its header, extension, pixels and palette";
        case FS_BITMAP_OLD_STYLE:
            return "an old-style graphics file";
        case FS_BITMAP_NOT_VALID:
            return "not a graphics file";
        case FS_BITMAP_BAD_SIZE:
            return "no pixels, an unknown depth or an absurd size";
        case FS_BITMAP_NO_MEMORY:
            return "no memory for its pixels";
        case FS_BITMAP_CANNOT_READ:
            return "cannot be read";
    }
    return "unknown outcome";
}

FormatCheck CheckBitmapImage(const void* data, size_t length, FsBitmapLayout* layout,
                             FsBitmapResult* result) {
    FsBitmapResult r = FS_BITMAP_TRUNCATED;
    if (data && length >= kHeaderBytes) {
        _FS_BITMAP h;
        std::memcpy(&h, data, kHeaderBytes);
        r = fsBitmapLayout(&h, length, layout);
    }
    if (result) *result = r;
    return r == FS_BITMAP_OK ? FormatCheck::Pass() : FormatCheck::Fail("%s", fsBitmapResultText(r));
}

FsBitmapResult fsCheckBitmap(const void* data, size_t length, FsBitmapLayout* layout) {
    FsBitmapResult r;
    CheckBitmapImage(data, length, layout, &r);
    return r;
}

namespace {

// Allocates the pixel block and points the header at it.
bool AllocateBlock(_FS_BITMAP* h, const FsBitmapLayout& l) {
    void* block = x_fn_malloc(l.dataBytes, "", 0);
    if (!block) return false;
    h->pixdata = Addr32(block);
    if (h->palettized) h->coldata = h->pixdata + l.paletteOffset;
    return true;
}

}  // namespace

FsBitmapResult fsLoadBitmap(_FS_BITMAP* header, const char* name) {
    X_FILE* f = x_fopen(name, "rb");
    if (!f) {
        ClearPointers(header);
        Report(FS_BITMAP_CANNOT_OPEN, name, nullptr, 0);
        console::CdReportUnavailable(name);  // the user hears why
        return FS_BITMAP_CANNOT_OPEN;
    }
    x_fseek(f, 0, 2);
    const int size = x_ftell(f);
    x_fseek(f, 0, 0);
    const uint64_t fileLength = size > 0 ? static_cast<uint64_t>(size) : 0;

    _FS_BITMAP h;
    FsBitmapResult r;
    // A read that falls short of what the file holds failed on the disc: the user hears why.
    if (fileLength < kHeaderBytes || x_fread(&h, kHeaderBytes, 1, f) != 1) {
        ClearPointers(header);
        r = fileLength < kHeaderBytes ? FS_BITMAP_TRUNCATED : FS_BITMAP_CANNOT_READ;
        Report(r, name, nullptr, fileLength);
        x_fclose(f);
        ReportToDisc(r, name);
        return r;
    }
    *header = h;
    FsBitmapLayout l;
    r = fsBitmapLayout(&h, fileLength, &l);
    if (r == FS_BITMAP_OK && !AllocateBlock(header, l)) r = FS_BITMAP_NO_MEMORY;
    if (r == FS_BITMAP_OK) {
        // Skip the extension block (of any length) and read pixels, padding and palette in one go.
        x_fseek(f, static_cast<int>(kHeaderBytes + l.extensionBytes), 0);
        // The layout fits the file's length, so a short read is the disc's.
        if (x_fread(header->Pixels(), static_cast<int>(l.dataBytes), 1, f) != 1) {
            x_free(header->Pixels());
            r = FS_BITMAP_CANNOT_READ;
        }
    }
    if (r != FS_BITMAP_OK) {
        ClearPointers(header);
        Report(r, name, &h, fileLength);
    }
    x_fclose(f);
    ReportToDisc(r, name);
    return r;
}

FsBitmapResult fsLoadBitmapFromMemory(_FS_BITMAP* header, const void* data, size_t length, const char* name) {
    FsBitmapLayout l;
    FsBitmapResult r = fsCheckBitmap(data, length, &l);
    if (length >= kHeaderBytes) std::memcpy(header, data, kHeaderBytes);
    if (r == FS_BITMAP_OK && !AllocateBlock(header, l)) r = FS_BITMAP_NO_MEMORY;
    if (r != FS_BITMAP_OK) {
        ClearPointers(header);
        Report(r, name, length >= kHeaderBytes ? header : nullptr, length);
        return r;
    }
    std::memcpy(header->Pixels(), static_cast<const uint8_t*>(data) + kHeaderBytes + l.extensionBytes,
                l.dataBytes);
    return r;
}

void BMP_InitInstance(BMP_INSTANCE* bmp) {
    std::memset(bmp, 0, sizeof *bmp);
}

void BMP_SetupBitmap(BMP_INSTANCE* bmp, int a2, int a3, int a4, int a5, int a6, int a7, uint32_t a8,
                     uint32_t a9, int a10, uint32_t a11, uint32_t a12, int a13) {
    BMP_InitInstance(bmp);
    bmp->format = static_cast<uint8_t>(a2);
    bmp->count = static_cast<uint16_t>(a13);
    bmp->dims[0] = static_cast<uint16_t>(a3);
    bmp->dims[1] = static_cast<uint16_t>(a4);
    bmp->dims[2] = static_cast<uint16_t>(a5);
    bmp->dims[3] = static_cast<uint16_t>(a6);
    bmp->words[0] = a8;
    bmp->words[1] = a11;
    bmp->words[2] = a12;
    bmp->words[3] = a9;
    if (a7) bmp->flags |= 1;
    if (a10) bmp->flags |= 2;
}
