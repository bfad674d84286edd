// Loading the HUD's pictures and fonts from the common objects, and finding model objects by id.
#pragma once

struct _font;
class CModelObject;
class CTexture;
struct ve_texture_handle;

namespace hudres {

// Sub-file `sub` as a texture appended to the texture store; its index (the store keeps null for a
// missing file).
int AddTexture(void* common, int sub);
// Sub-file `sub` as a geometry appended to the geometry store; its index, or -1 when missing or too
// large.
int AddGeometry(void* common, int sub);
// Sub-file `sub` as a font under `name`, spacing 0; null when missing. Fonts are shared by name:
// every MakeFont is matched by one ReleaseFont, and the last one gives the font back to the engine.
_font* MakeFont(void* common, int sub, const char* name);
// Lets go of a font from MakeFont and clears the pointer.
void ReleaseFont(_font*& font);
CModelObject* ModelObject(int id);
// Makes texture `id` of the store resident and current; false when there is none.
bool UseTexture(int id);
// Prints `s` at (x, y) in the font's colour inside a dark rim two pixels wide, readable on the white
// arena walls and the sky alike.
void PrintOutlined(_font* f, int x, int y, const char* s);

}  // namespace hudres
