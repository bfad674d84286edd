// The front end's 35 screens, designed in memory before they are packed into "frontend\FE_game.exp":
// node trees with the control ids the screen procedures look up, their links and saved focus, the
// sprites, fonts and strings they use. One visual style throughout: a navy gradient backdrop with a
// header band, translucent panels edged in orange, menu rows that sit on orange highlight bars and turn
// yellow when focused, and a hint line at the foot of each screen.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/sys/bitmap_format.h"
#include "frontend/sm/sm_resource_format.h"

struct FeNode {
    uint16_t type = 1;  // 1 group, 2 screen, 3 sprite, 4 text, 6 gouraud, 9 button
    int16_t id = -1;
    uint8_t alpha = 255;
    uint16_t flags = 0x0008;  // visible
    int16_t x = 0, y = 0, w = 0, h = 0;
    // Screen roots and buttons: links by control id (-1 none), the screen Accept opens (0 none); roots:
    // the control focused on entry (-1 none).
    int16_t up = -1, down = -1, left = -1, right = -1;
    int32_t linkScreen = 0;
    int16_t focus = -1;
    int32_t sprite = 0;  // sprite number
    // Text: fonts of the normal, highlighted and disabled states (-1 = the normal one), alignment bits
    // (0 left, 1 centre, 2 right; 0 top, 4 middle, 8 bottom) and the string id.
    int8_t font = 0, hiFont = -1, disFont = -1;
    int8_t clut = 0, hiClut = -1;  // colour pages of a glyph-table font (-1: the normal one)
    uint16_t align = 0;
    int32_t string = -1;
    uint32_t colour[4] = {0, 0, 0, 0};  // gouraud corners 0xAARRGGBB (0x80 = full), TL, TR, BL, BR
    std::vector<FeNode> children;
};

struct FeFont {
    std::string name;           // must differ from the shell's own font names
    std::vector<uint8_t> file;  // a complete engine font file
    uint16_t charHeight = 0;    // height of the tallest character in pixels
    SMW_Font glyphTable{};      // when it has pages: a glyph-table font instead of the file
};

struct FrontEndDesign {
    std::vector<BitmapImage> sprites;  // 32-bit pictures
    std::vector<FeFont> fonts;
    std::vector<std::string> strings;  // language 0; string id = index
    std::vector<FeNode> screens;       // 35 roots, screen number = index
};

// The whole front end. Deterministic.
FrontEndDesign DesignFrontEnd();

// The name the bike choice screens give bike model `model` (0..9): a make and the engine class the model
// is raced and heard with (race/riders.h), e.g. "HORNET 400".
std::string BikeName(int model);

// The pre-race screen's pictures of the career's rider and bike: rider k and bike k have these ids plus k.
inline constexpr int kFePreRaceRider0 = 1600, kFePreRaceBike0 = 1610;
// The credits' hint line: the attract loop's credits put their own words in it.
inline constexpr int kFeCreditsHint = 1620;

// Font numbers of the design's font table.
// kFeKeys is a glyph-table font (page 0 white, page 1 yellow), drawn by the screen manager's text buffer.
enum FeFontId : int8_t {
    kFeText = 0,
    kFeTextHi = 1,
    kFeHead = 2,
    kFeHint = 3,
    kFeBig = 4,
    kFeDim = 5,
    kFeKeys = 6
};

// "frontend\names.txt": the people in the credits ("credit NAME"). The racers' names are the race's rider
// table (race/riders.h), not the disc's.
std::string FrontEndNamesText();
