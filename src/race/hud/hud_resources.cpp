#include "race/hud/hud_resources.h"

#include <cstdint>
#include <cstring>

#include "engine/font/font.h"
#include "engine/hal/display.h"
#include "engine/hal/texture_manager.h"
#include "game/files/file_manager.h"
#include "game/files/geometry.h"
#include "game/files/texture.h"
#include "game/model/model.h"
#include "race/hud/hud_text.h"

namespace hudres {

namespace {
// The engine hands out one font per name: the HUD, the pause menu and the end screens all asking for
// "uni18.fnt" get the same font. It goes back to the engine when its last user lets it go.
struct FontUsers {
    _font* font;
    int users;
};
FontUsers g_fontUsers[numFonts];
}  // namespace

int AddTexture(void* common, int sub) {
    CFileManager* files = GetFileManager();
    const auto s = static_cast<unsigned int>(sub);
    CTexture* tex = common
                        ? LoadTexture(files->loadSubFile(common, s), files->getSubFileLength(common, s), sub)
                        : nullptr;
    return CResourceStorage<CTexture>::instance().add(tex);
}

int AddGeometry(void* common, int sub) {
    CFileManager* files = GetFileManager();
    const auto s = static_cast<unsigned int>(sub);
    void* data = common ? files->loadSubFile(common, s) : nullptr;
    const int length = common ? files->getSubFileLength(common, s) : 0;
    // The common objects stay loaded from race to race, but preparing a block rewrites it in place: the
    // bytes as first loaded are kept (outside the heap: the HUD's geometry is small) and put back before
    // a later race prepares the block again.
    static uint8_t kept[16384];
    static const void* keptFor = nullptr;
    static int keptLength = 0;
    if (!data || length <= 0 || static_cast<size_t>(length) > sizeof kept) return -1;
    if (keptFor == data && keptLength == length) {
        std::memcpy(data, kept, static_cast<size_t>(length));
    } else {
        std::memcpy(kept, data, static_cast<size_t>(length));
        keptFor = data;
        keptLength = length;
    }
    CGeometry* g = LoadGeometry(data, length, sub);
    return g ? CResourceStorage<CGeometry>::instance().add(g) : -1;
}

_font* MakeFont(void* common, int sub, const char* name) {
    if (!common) return nullptr;
    CFileManager* files = GetFileManager();
    const auto s = static_cast<unsigned int>(sub);
    const int length = files->getSubFileLength(common, s);
    void* image = files->loadSubFile(common, s);
    if (!image || length <= 0) return nullptr;
    _font* f =
        veFontCreateFromPointer(name, static_cast<_font_data*>(image), static_cast<size_t>(length), 0, 0);
    if (!f) return nullptr;
    veFontSetSpacing(f, 0);
    FontUsers* slot = nullptr;
    for (FontUsers& u : g_fontUsers) {
        if (u.font == f) {
            ++u.users;
            return f;
        }
        if (!slot && !u.font) slot = &u;
    }
    // One slot per engine font: there is always room.
    if (slot) *slot = {f, 1};
    return f;
}

void ReleaseFont(_font*& f) {
    if (!f) return;
    for (FontUsers& u : g_fontUsers)
        if (u.font == f) {
            if (--u.users > 0) {
                f = nullptr;
                return;
            }
            u = {nullptr, 0};
            break;
        }
    veFontDestroy(f);
    f = nullptr;
}

CModelObject* ModelObject(int id) {
    CModel* model = CModel::modelPtr;
    if (!model || id < 0 || static_cast<size_t>(id) >= model->objects.size()) return nullptr;
    return model->objects[static_cast<size_t>(id)];
}

bool UseTexture(int id) {
    CTexture* tex = id >= 0 ? CResourceStorage<CTexture>::instance().get(id) : nullptr;
    if (!tex) return false;
    veDisplaySetActiveTexture(veTextureLoadTextureMem(&tex->fsBitmap));
    return true;
}

void PrintOutlined(_font* f, int x, int y, const char* s) {
    if (!f) return;
    const uint32_t colour = veFontGetColor(f);
    veFontSetColor(f, hudtext::kOutlineColour);
    for (int dy = -2; dy <= 2; dy += 2)
        for (int dx = -2; dx <= 2; dx += 2)
            if (dx || dy) veFontPrintfXY(f, x + dx, y + dy, "%s", s);
    veFontSetColor(f, colour);
    veFontPrintfXY(f, x, y, "%s", s);
}

}  // namespace hudres
