// libFuzzer target for the screen resource reader: any byte string is checked whole; an accepted one is
// loaded (preload), and every screen's nodes, links, instance targets, strings and sprite images are
// visited through the loaded pointers; texts in glyph-table fonts go through the text buffer, every
// glyph image of every page is built and its pixels and palette read, every font measures every code;
// then everything is released.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/sys/bitmap.h"
#include "engine/sys/heap.h"
#include "frontend/sm/sm_dlist.h"
#include "frontend/sm/sm_resource.h"

namespace {

volatile uint32_t g_sink;

void Visit(const _smdlhdr* n) {
    for (; n; n = SM_Node(n->pNext)) {
        g_sink = g_sink + n->ID + n->Type + n->pParent;
        if (n->Flags & SM_FLAG_LINKS) {
            const auto* l = reinterpret_cast<const _sm_linkblock*>(n + 1);
            for (uint32_t v : {l->Up, l->Down, l->Left, l->Right})
                if (v) g_sink = g_sink + SM_Node(v)->Type;
        }
        if (n->Type == SM_TYPE_INSTANCE)
            for (uint32_t v : reinterpret_cast<const _sm_instancenode*>(n)->Ref)
                if (v) g_sink = g_sink + SM_Node(v)->Type;
        if (n->Type == SM_TYPE_TEXT) {
            const auto* t = reinterpret_cast<const _sm_textnode*>(n);
            const char* s = SM_GetStringByID(t->StringID);
            if (s) g_sink = g_sink + uint32_t(std::strlen(s));
            if (SM_FontHasGlyphs(t->Font)) {
                const _sm_dldc dc = SM_DLRootContext();
                SM_DLDrawTextString(const_cast<_smdlhdr*>(n), &dc);
            }
        }
        if (n->Type == SM_TYPE_SPRITE) {
            const uint32_t* inst = SM_GetSpriteImage(reinterpret_cast<const _sm_spritenode*>(n)->Sprite, 1);
            if (inst && *inst) g_sink = g_sink + Ptr<BMP_INSTANCE>(*inst)->dims[0];
        }
        Visit(SM_Node(n->pChildren));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 22)) return 0;
    // A heap copy of exactly the input's length, so reads past it are caught.
    auto* image = static_cast<uint8_t*>(x_fn_malloc(uint32_t(size ? size : 1), "", 0));
    if (!image) return 0;
    if (size) std::memcpy(image, data, size);
    SM_InitResourceModule();
    SM_PrepSetResourcePreload(-1);
    SM_InitDListModule(640, 448);
    if (SM_InitResourcePtr(image, size, 0, nullptr)) {
        for (int32_t k = 0; k < Resource.nScreens; ++k) Visit(SM_ResScreenRoot(k));
        SM_DLFlush();
        char codes[256];
        for (int i = 0; i < 255; ++i) codes[i] = char(i + 1);
        codes[255] = 0;
        for (int32_t f = 0; f < Resource.nFonts; ++f) {
            g_sink = g_sink + uint32_t(SM_DLTextPixelWidth(f, codes, 255));
            const _sm_fontrecord* rec = SM_GetFont(f);
            for (int32_t p = 0; rec->PageTable && p < rec->Pages; ++p)
                for (int32_t g = 0; g < SM_FONT_CHARS; ++g) {
                    const uint32_t* inst = SM_GetCharImage(g, f, p);
                    if (!inst) continue;
                    const auto* bmp = Ptr<BMP_INSTANCE>(*inst);
                    const uint8_t* px = Ptr<uint8_t>(bmp->words[0]);
                    for (uint32_t i = 0; i < uint32_t(bmp->dims[2]) * bmp->dims[1]; ++i)
                        g_sink = g_sink + px[i];
                    const uint32_t* pal = Ptr<uint32_t>(bmp->words[2]);
                    for (uint32_t i = 0; pal && i < bmp->count; ++i) g_sink = g_sink + pal[i];
                }
        }
        SM_KillResource();
    }
    x_free(image);
    return 0;
}
