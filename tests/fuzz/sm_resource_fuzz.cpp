// libFuzzer target for the screen resource reader: any byte string is checked whole; an accepted one is
// loaded (preload), and every screen's nodes, links, instance targets, strings and sprite images are
// visited through the loaded pointers, then everything is released.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/sys/bitmap.h"
#include "engine/sys/heap.h"
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
            const char* s = SM_GetStringByID(reinterpret_cast<const _sm_textnode*>(n)->StringID);
            if (s) g_sink = g_sink + uint32_t(std::strlen(s));
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
    if (SM_InitResourcePtr(image, size, 0, nullptr)) {
        for (int32_t k = 0; k < Resource.nScreens; ++k) Visit(SM_ResScreenRoot(k));
        SM_KillResource();
    }
    x_free(image);
    return 0;
}
