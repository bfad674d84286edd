#include "mkdisc/frontend_screens.h"

#include <cstdio>
#include <iterator>
#include <map>
#include <utility>

#include "engine/font/font_format.h"
#include "frontend/screens/names_file.h"
#include "mkdisc/fonts.h"
#include "mkdisc/frontend_art.h"
#include "mkdisc/track_design.h"
#include "race/riders.h"

namespace {

// ---- sprite numbers --------------------------------------------------------------------------------
enum : int32_t {
    kSprTitle = 0,
    kSprLogo,
    kSprBar,
    kSprPadlock,
    kSprCheck,
    kSprTrophy0,  // three tiers
    kSprSpecial = kSprTrophy0 + 3,
    kSprPad,
    kSprPips0,  // levels 1..5
    kSprBike0 = kSprPips0 + 5,
    kSprRider0 = kSprBike0 + 10,
    kSprTrack0 = kSprRider0 + 10,  // kind * 10 + entry
    kSprCount = kSprTrack0 + 40,
};

// ---- screen numbers --------------------------------------------------------------------------------
enum : int {
    kNoCard = 0,
    kCredits = 1,
    kStandings = 3,
    kCareerBike = 4,
    kRiderView = 5,
    kPreRace = 6,
    kSeries = 7,
    kCareerRider = 8,
    kKeyboard = 9,
    kSlots2 = 10,
    kSlots = 11,
    kTrophies = 12,
    kAudio = 18,
    kControls = 19,
    kOptions = 20,
    kLoading = 21,
    kP2Bike = 22,
    kP2Rider = 23,
    kP1Bike = 24,
    kP1Rider = 25,
    kPractice = 26,
    kFree = 27,
    kBaja = 28,
    kOutdoor = 29,
    kIndoor = 30,
    kModeSelect = 31,
    kDifficulty = 32,
    kMainMenu = 33,
    kStart = 34,
    kScreenCount = 35,
};

// Gouraud colour from 0..255 components (the rectangle scales 0x80 to full intensity).
// Gouraud colour from 0..255 components: the rectangle takes 0x80 as full intensity for red, green and
// blue, and an alpha of 0..255 that it scales by the node's.
constexpr uint32_t G(uint32_t r, uint32_t g, uint32_t b, uint32_t a = 255) {
    auto h = [](uint32_t v) { return (v * 128 + 127) / 255; };
    return (a << 24) | (h(r) << 16) | (h(g) << 8) | h(b);
}

// Glyph scale of each font number (FeFontId).
constexpr int kFontScale[7] = {2, 2, 3, 2, 4, 2, 2};

constexpr uint32_t kNavyTop = G(30, 58, 132), kNavyBottom = G(6, 10, 30);
constexpr uint32_t kPanel = G(8, 14, 36, 190), kPanelLow = G(4, 8, 22, 210);
constexpr uint32_t kOrangeG = G(255, 138, 28), kYellowG = G(255, 214, 60);

const char* const kKindNames[4] = {"BAJA", "INDOOR", "OUTDOOR", "FREESTYLE"};
const char* const kTierNames[3] = {"ROOKIE", "PRO", "CHAMPION"};
const int kSeriesRaces[12] = {3, 4, 5, 4, 6, 8, 5, 6, 7, 2, 3, 4};

const char* const kTrackNames[4][10] = {
    {"DUNE RUN", "MESA LOOP", "RED CANYON", "SALT FLATS", "SUNBURN", "DRY LAKE", "CACTUS RIDGE", "BADLANDS",
     "OASIS", "SIDEWINDER"},
    {"ARENA ONE", "STEEL DOME", "FORUM", "CIVIC HALL", "COLISEUM", "THE BOWL", "DOCKSIDE", "GRAND HALL",
     "NIGHT DOME", "CAPITOL"},
    {"HILLTOP", "PINE VALLEY", "RIVERBEND", "THUNDER HILL", "FROSTBITE", "MUDDY CREEK", "BLACKWOOD",
     "HIGH MEADOW", "SUNSET PEAK", "IRON MOUNTAIN"},
    {"THE PIT", "QUARRY", "SKY PARK", "BIG AIR", "JUNKYARD", "LAUNCH PAD", "GRAVEL YARD", "HANG TIME",
     "THE CRATER", "ZERO G"},
};
// The riders are the race's own (one table names them everywhere).
const char* RiderName(int k) {
    return qzRiderAttributes[k % kRiderModels].name;
}

// Ratings (1..10) of speed, acceleration and handling for each bike.
int BikeRating(int bike, int stat) {
    static const int kRatings[10][3] = {{4, 7, 9}, {6, 7, 7},  {6, 8, 6}, {7, 6, 7}, {8, 7, 5},
                                        {8, 8, 5}, {10, 6, 4}, {7, 9, 6}, {6, 6, 9}, {9, 9, 4}};
    return kRatings[bike % 10][stat % 3];
}

// Does the disc carry a world for entry `entry` (world number entry + 1) of track kind `kind`?
bool WorldExists(int kind, int entry) {
    static const char kLetters[4] = {'b', 'i', 'o', 'f'};
    char name[16];
    std::snprintf(name, sizeof name, "%c%02d.bin", kLetters[kind], entry + 1);
    for (const TrackSpec& spec : TrackSpecs())
        if (std::string(spec.name) == name) return true;
    return false;
}

class Designer {
public:
    FrontEndDesign design;

    int32_t Str(const std::string& s) {
        auto it = strings_.find(s);
        if (it != strings_.end()) return it->second;
        int32_t id = int32_t(design.strings.size());
        design.strings.push_back(s);
        strings_[s] = id;
        return id;
    }

    // ---- node makers ----
    static FeNode Group(int x, int y, int w, int h, int id = -1) {
        FeNode n;
        n.type = 1;
        n.id = int16_t(id);
        n.x = int16_t(x), n.y = int16_t(y), n.w = int16_t(w), n.h = int16_t(h);
        return n;
    }
    // Text placed in the box (x, y, w, h) by `align` (0 left, 1 centre, 2 right; 0 top, 4 middle, 8
    // bottom). The screens print at a text node's top-left corner, so the placement is worked out here
    // from the glyph set's fixed advance and the node is made the size of its text.
    FeNode Text(int x, int y, int w, int h, const std::string& s, int8_t font, int8_t hi = -1,
                uint16_t align = 4, int id = -1) {
        const int scale = kFontScale[font];
        // Placed by its capitals (seven rows); the node holds the descenders below them too.
        const int tw = TextWidth(s, font), th = kFontAscentRows * scale;
        const int tx = x + ((align & 3) == 1 ? (w - tw) / 2 : (align & 3) == 2 ? w - tw : 0);
        const int ty = y + ((align & 12) == 4 ? (h - th) / 2 : (align & 12) == 8 ? h - th : 0);
        FeNode n = Group(tx, ty, tw, (kFontAscentRows + kFontDescentRows) * scale, id);
        n.type = 4;
        n.font = font, n.hiFont = hi, n.disFont = -1;
        n.align = 0;
        n.string = Str(s);
        return n;
    }
    // Text in the glyph-table font kFeKeys: the node is the box itself, and the screen manager places the
    // text by `align` with the font's own widths; highlighted it turns to the font's second page.
    FeNode KeyText(int x, int y, int w, int h, const std::string& s, uint16_t align, int id) {
        FeNode n = Group(x, y, w, h, id);
        n.type = 4;
        n.font = kFeKeys, n.hiFont = -1, n.disFont = -1;
        n.clut = 0, n.hiClut = 1;
        n.align = align;
        n.string = Str(s);
        return n;
    }
    static int TextWidth(const std::string& s, int8_t font) {
        const int scale = kFontScale[font];
        return s.empty() ? 1 : int(s.size()) * 6 * scale - scale;
    }

    static FeNode Rect(int x, int y, int w, int h, uint32_t tl, uint32_t tr, uint32_t bl, uint32_t br,
                       int id = -1) {
        FeNode n = Group(x, y, w, h, id);
        n.type = 6;
        n.colour[0] = tl, n.colour[1] = tr, n.colour[2] = bl, n.colour[3] = br;
        return n;
    }
    static FeNode Fill(int x, int y, int w, int h, uint32_t c) { return Rect(x, y, w, h, c, c, c, c); }
    static FeNode Sprite(int x, int y, int w, int h, int32_t sprite, int id = -1) {
        FeNode n = Group(x, y, w, h, id);
        n.type = 3;
        n.sprite = sprite;
        return n;
    }
    static FeNode Button(int x, int y, int w, int h, int id) {
        FeNode n = Group(x, y, w, h, id);
        n.type = 9;
        n.flags = 0x0008 | 0x0010;
        return n;
    }
    static FeNode Hidden(FeNode n) {
        n.alpha = 0;
        return n;
    }

    // A translucent panel with an orange top edge.
    static FeNode Panel(int x, int y, int w, int h) {
        FeNode g = Group(x, y, w, h);
        g.children.push_back(Rect(0, 0, w, h, kPanel, kPanel, kPanelLow, kPanelLow));
        g.children.push_back(Rect(0, 0, w, 3, kOrangeG, kYellowG, kOrangeG, kYellowG));
        g.children.push_back(Fill(0, h - 1, w, 1, G(120, 140, 200, 120)));
        return g;
    }

    // The screen root with the common frame: backdrop, header band with the title, logo, hint line.
    FeNode Screen(int number, const std::string& title, const std::string& hint) {
        FeNode root = Group(0, 0, 640, 448, number);
        root.type = 2;
        root.flags = 0x0008 | 0x0010;
        root.children.push_back(Rect(0, 0, 640, 448, kNavyTop, kNavyTop, kNavyBottom, kNavyBottom));
        // Faint diagonal light across the backdrop.
        root.children.push_back(Rect(0, 80, 640, 220, G(60, 90, 170, 0), G(60, 90, 170, 60),
                                     G(60, 90, 170, 30), G(60, 90, 170, 0)));
        root.children.push_back(Rect(0, 28, 640, 48, G(230, 110, 20, 230), G(150, 50, 10, 0),
                                     G(170, 60, 10, 230), G(90, 20, 5, 0)));
        root.children.push_back(Fill(0, 76, 420, 2, kYellowG));
        if (!title.empty()) root.children.push_back(Text(40, 30, 440, 44, title, kFeHead));
        root.children.push_back(Sprite(488, 36, 128, 32, kSprLogo));
        root.children.push_back(
            Rect(0, 410, 640, 28, G(0, 0, 0, 200), G(0, 0, 0, 200), G(0, 0, 0, 120), G(0, 0, 0, 120)));
        root.children.push_back(Fill(0, 410, 640, 1, G(255, 138, 28, 160)));
        if (!hint.empty()) root.children.push_back(Text(0, 410, 640, 28, hint, kFeHint, -1, 1 | 4));
        return root;
    }

    // A menu of rows with highlight bars (main menu, difficulty, mode select, options). `ids` gives for
    // each entry the row control and its bar; the row's text sits between them in the id space.
    void Menu(FeNode& root, int x, int y, int dy, const std::vector<std::pair<int, int>>& ids,
              const std::vector<std::string>& labels, const std::vector<int>& links = {}) {
        root.children.push_back(Panel(x - 28, y - 20, 360, int(ids.size()) * dy + 28));
        for (size_t i = 0; i < ids.size(); ++i)
            root.children.push_back(Sprite(x - 20, y + int(i) * dy, 336, 36, kSprBar, ids[i].second));
        for (size_t i = 0; i < ids.size(); ++i) {
            FeNode row = Button(x, y + int(i) * dy, 300, 36, ids[i].first);
            row.up = int16_t(i > 0 ? ids[i - 1].first : -1);
            row.down = int16_t(i + 1 < ids.size() ? ids[i + 1].first : -1);
            if (i < links.size()) row.linkScreen = links[i];
            row.children.push_back(
                Text(18, 0, 282, 36, labels[i], kFeText, kFeTextHi, 0 | 4, ids[i].first + 1));
            root.children.push_back(row);
        }
        root.focus = int16_t(ids[0].first);
    }

    // A picture panel on the right of a menu: the rider and the bike of number `k`.
    static void Showcase(FeNode& root, int k) {
        root.children.push_back(Panel(404, 100, 212, 296));
        root.children.push_back(Sprite(446, 116, 128, 128, kSprRider0 + k));
        root.children.push_back(Sprite(382, 258, 256, 128, kSprBike0 + k));
    }

    // ---- screens ----
    FeNode StartScreen() {
        FeNode root = Group(0, 0, 640, 448, kStart);
        root.type = 2;
        root.flags = 0x0008 | 0x0010;
        root.children.push_back(Rect(0, 0, 640, 448, kNavyTop, kNavyTop, kNavyBottom, kNavyBottom));
        root.children.push_back(Rect(0, 250, 640, 110, G(230, 110, 20, 0), G(230, 110, 20, 0),
                                     G(230, 110, 20, 90), G(230, 110, 20, 90)));
        root.children.push_back(Sprite(64, 24, 512, 256, kSprTitle));
        root.children.push_back(Sprite(12, 300, 192, 96, kSprBike0));
        root.children.push_back(Sprite(436, 300, 192, 96, kSprBike0 + 1));
        root.children.push_back(Text(0, 318, 640, 40, "PRESS START", kFeBig, -1, 1 | 4));
        root.children.push_back(Fill(0, 410, 640, 1, G(255, 138, 28, 160)));
        root.children.push_back(Text(0, 414, 640, 24, "(C) QZ TEAM - SAMPLE DISC", kFeHint, -1, 1 | 4));
        return root;
    }

    FeNode MainMenu() {
        FeNode root = Screen(kMainMenu, "MAIN MENU", "UP/DOWN CHOOSE   X ACCEPT");
        Menu(root, 76, 124, 54, {{1382, 1384}, {1385, 1387}, {1388, 1390}, {1391, 1393}, {1394, 1396}},
             {"1 PLAYER", "2 PLAYERS", "CAREER", "TROPHY CASE", "OPTIONS"}, {32, 32, 11, 12, 20});
        Showcase(root, 0);
        return root;
    }

    FeNode Difficulty() {
        FeNode root = Screen(kDifficulty, "DIFFICULTY", "X ACCEPT   TRIANGLE BACK");
        Menu(root, 76, 150, 60, {{1367, 1369}, {1370, 1372}, {1373, 1375}}, {"AMATEUR", "PRO", "EXPERT"});
        Showcase(root, 0);  // the first player's rider and bike: the screen comes before any choice
        return root;
    }

    FeNode ModeSelect() {
        FeNode root = Screen(kModeSelect, "RACE TYPE", "X ACCEPT   TRIANGLE BACK");
        Menu(root, 76, 124, 54, {{1350, 1352}, {1353, 1355}, {1356, 1358}, {1359, 1361}, {1362, 1364}},
             {"BAJA", "INDOOR", "OUTDOOR", "FREESTYLE", "PRACTICE"}, {28, 30, 29, 27});
        // PRACTICE opens nothing: its row stays dim, focused or not, and links nowhere.
        for (FeNode& n : root.children)
            if (n.id == 1362)
                for (FeNode& label : n.children) label.font = label.hiFont = kFeDim;
        root.children.push_back(Panel(404, 100, 224, 296));
        for (int k = 0; k < 4; ++k) {
            int shown = 0;  // the kind's first track the disc holds
            while (shown < 9 && !WorldExists(k, shown)) ++shown;
            root.children.push_back(Sprite(412, 116 + 70 * k, 104, 52, kSprTrack0 + k * 10 + shown));
            root.children.push_back(Text(518, 116 + 70 * k, 106, 52, kKindNames[k], kFeHint, -1, 0 | 4));
        }
        return root;
    }

    FeNode Options() {
        FeNode root = Screen(kOptions, "OPTIONS", "X ACCEPT   TRIANGLE BACK");
        Menu(root, 76, 124, 54, {{854, 856}, {857, 859}, {860, 862}, {863, 865}, {866, 868}},
             {"CONTROLLER", "AUDIO", "LANGUAGE: ENGLISH", "SAVE SETTINGS", "CREDITS"}, {19, 18, 0, 0, 1});
        root.children.push_back(Panel(404, 100, 212, 296));
        root.children.push_back(Sprite(414, 140, 192, 96, kSprPad));
        root.children.push_back(Text(414, 260, 192, 24, "SET UP YOUR", kFeHint, -1, 1 | 4));
        root.children.push_back(Text(414, 284, 192, 24, "PAD AND SOUND", kFeHint, -1, 1 | 4));
        return root;
    }

    // A race set-up screen: rows (track, laps or time, computer riders, catch-up) on the left, the
    // track's thumbnail on the right.
    struct SetupIds {
        int rows[4], bars[4], trackText, trackPic, laps[5], cpu[2], catchup[2];
    };
    FeNode Setup(int number, int kind, const SetupIds& ids, bool freestyle) {
        static const char* const kTitles[4] = {"BAJA RACE", "INDOOR RACE", "OUTDOOR RACE", "FREESTYLE"};
        FeNode root = Screen(number, kTitles[kind], "UP/DOWN ROW  LEFT/RIGHT SET  X ACCEPT  TRIANGLE BACK");
        const int rows = freestyle ? 2 : 4;
        root.children.push_back(Panel(32, 100, 356, 296));
        for (int r = 0; r < rows; ++r)
            root.children.push_back(Sprite(40, 124 + 62 * r, 344, 40, kSprBar, ids.bars[r]));
        static const char* const kLabels[4] = {"TRACK", "LAPS", "CPU RIDERS", "CATCH-UP"};
        for (int r = 0; r < rows; ++r) {
            FeNode row = Button(52, 124 + 62 * r, 328, 40, ids.rows[r]);
            row.up = int16_t(r > 0 ? ids.rows[r - 1] : -1);
            row.down = int16_t(r + 1 < rows ? ids.rows[r + 1] : -1);
            row.children.push_back(
                Text(8, 0, 120, 40, freestyle && r == 1 ? "TIME" : kLabels[r], kFeText, kFeTextHi));
            row.children.push_back(Text(140, 0, 16, 40, "<", kFeText, kFeTextHi));
            row.children.push_back(Text(312, 0, 16, 40, ">", kFeText, kFeTextHi));
            auto item = [&](int id, const std::string& s, bool first) {
                FeNode t = Text(156, 0, 156, 40, s, kFeText, kFeTextHi, 1 | 4, id);
                return first ? t : Hidden(t);
            };
            if (r == 0)
                for (int k = 0; k < 10; ++k)
                    row.children.push_back(item(ids.trackText + 3 * k, kTrackNames[kind][k], k == 0));
            if (r == 1) {
                static const char* const kLaps[5] = {"3", "4", "5", "10", "20"};
                static const char* const kTimes[5] = {"1:00", "2:00", "3:00", "5:00", "10:00"};
                for (int k = 0; k < 5; ++k)
                    row.children.push_back(item(ids.laps[k], freestyle ? kTimes[k] : kLaps[k], k == 0));
            }
            if (r == 2)
                for (int k = 0; k < 2; ++k)
                    row.children.push_back(item(ids.cpu[k], k == 0 ? "ON" : "OFF", k == 0));
            if (r == 3)
                for (int k = 0; k < 2; ++k)
                    row.children.push_back(item(ids.catchup[k], k == 0 ? "OFF" : "ON", k == 0));
            root.children.push_back(row);
        }
        root.focus = int16_t(ids.rows[0]);
        root.children.push_back(Panel(404, 100, 212, 180));
        root.children.push_back(Text(404, 106, 212, 28, "TRACK MAP", kFeHint, -1, 1 | 4));
        for (int k = 0; k < 10; ++k) {
            FeNode pic = Sprite(414, 140, 192, 96, kSprTrack0 + kind * 10 + k, ids.trackPic + 3 * k);
            root.children.push_back(k == 0 ? pic : Hidden(pic));
        }
        root.children.push_back(Panel(404, 296, 212, 100));
        root.children.push_back(
            Text(414, 304, 192, 28, freestyle ? "SCORE THE" : "FIRST TO THE", kFeHint, -1, 1 | 4));
        root.children.push_back(
            Text(414, 330, 192, 28, freestyle ? "BIGGEST TRICKS" : "FLAG WINS", kFeHint, -1, 1 | 4));
        root.children.push_back(Text(414, 356, 192, 28, kKindNames[kind], kFeTextHi, -1, 1 | 4));
        return root;
    }

    // A rider choice: portrait, and the name between arrows in the focus control.
    FeNode RiderChoice(int number, const std::string& title, int focusId, int nameBase, int picBase,
                       int idStep, const std::string& hint) {
        FeNode root = Screen(number, title, hint);
        root.children.push_back(Panel(160, 96, 320, 300));
        for (int k = 0; k < 10; ++k) {
            FeNode pic = Sprite(240, 110, 160, 160, kSprRider0 + k, picBase + idStep * k);
            root.children.push_back(k == 0 ? pic : Hidden(pic));
        }
        root.children.push_back(Sprite(176, 290, 288, 40, kSprBar));
        FeNode btn = Button(184, 290, 272, 40, focusId);
        btn.children.push_back(Text(12, 0, 20, 40, "<", kFeText, kFeTextHi));
        btn.children.push_back(Text(252, 0, 20, 40, ">", kFeText, kFeTextHi));
        for (int k = 0; k < 10; ++k) {
            FeNode t = Text(20, 0, 232, 40, RiderName(k), kFeText, kFeTextHi, 1 | 4, nameBase + idStep * k);
            btn.children.push_back(k == 0 ? t : Hidden(t));
        }
        root.children.push_back(btn);
        root.children.push_back(Text(160, 344, 320, 32, "LEFT/RIGHT TO CHOOSE", kFeHint, -1, 1 | 4));
        root.focus = int16_t(focusId);
        return root;
    }

    // A bike choice: picture, name and a ratings block per bike; `focusId` -1 puts the names in a plain
    // group (the career screen gives no control the focus).
    FeNode BikeChoice(int number, const std::string& title, int focusId, int nameBase, int attribBase,
                      int picBase) {
        FeNode root = Screen(number, title, "LEFT/RIGHT CHOOSE   X ACCEPT   TRIANGLE BACK");
        root.children.push_back(Panel(176, 96, 288, 300));
        for (int k = 0; k < 10; ++k) {
            FeNode pic = Sprite(192, 104, 256, 128, kSprBike0 + k, picBase + 4 * k);
            root.children.push_back(k == 0 ? pic : Hidden(pic));
        }
        root.children.push_back(Sprite(184, 236, 280, 36, kSprBar));
        FeNode names = focusId >= 0 ? Button(192, 236, 256, 36, focusId) : Group(192, 236, 256, 36);
        names.children.push_back(Text(12, 0, 20, 36, "<", kFeText, kFeTextHi));
        names.children.push_back(Text(236, 0, 20, 36, ">", kFeText, kFeTextHi));
        for (int k = 0; k < 10; ++k) {
            FeNode t = Text(20, 0, 216, 36, BikeName(k), kFeText, kFeTextHi, 1 | 4, nameBase + 4 * k);
            names.children.push_back(k == 0 ? t : Hidden(t));
        }
        root.children.push_back(names);
        static const char* const kStats[3] = {"SPEED", "ACCEL", "HANDLING"};
        for (int k = 0; k < 10; ++k) {
            FeNode block = Group(196, 284, 248, 100, attribBase + 4 * k);
            for (int s = 0; s < 3; ++s) {
                int y = 4 + 32 * s, v = BikeRating(k, s);
                block.children.push_back(Text(0, y, 110, 24, kStats[s], kFeHint));
                block.children.push_back(Fill(112, y + 6, 130, 12, G(30, 40, 70, 220)));
                block.children.push_back(
                    Rect(112, y + 6, 13 * v, 12, kYellowG, kYellowG, G(200, 70, 10), G(200, 70, 10)));
            }
            root.children.push_back(k == 0 ? block : Hidden(block));
        }
        if (focusId >= 0) root.focus = int16_t(focusId);
        return root;
    }

    FeNode Credits() {
        // The hint keeps to the left of the band: in the attract loop the front end writes "DEMO LOOP"
        // and "Press Start Button" over the band's right half (x 370 on, y 400 to 435).
        FeNode root = Screen(kCredits, "", "");
        root.children.push_back(
            Text(24, 410, 320, 28, "X MENU   TRIANGLE OPTIONS", kFeHint, -1, 0 | 4, kFeCreditsHint));
        root.children.push_back(Sprite(192, 6, 256, 128, kSprTitle));
        // The credit lines scroll from y 340 up to 181 at x 200.
        root.children.push_back(Panel(170, 168, 300, 200));
        root.children.push_back(Text(170, 140, 300, 24, "CREDITS", kFeTextHi, -1, 1 | 4));
        return root;
    }

    FeNode NoCard() {
        FeNode root = Screen(kNoCard, "MEMORY CARD", "X CONTINUE   O RETRY");
        root.children.push_back(Panel(40, 110, 560, 200));
        root.children.push_back(Fill(60, 134, 32, 32, kYellowG));
        root.children.push_back(Text(60, 134, 32, 32, "!", kFeHead, -1, 1 | 4));
        root.children.push_back(Text(108, 130, 480, 24, "No memory Card present,", kFeText));
        root.children.push_back(Text(108, 158, 480, 24, "your game will not be saved.", kFeText));
        root.children.push_back(
            Text(40, 240, 560, 28, "Press X to continue or O to retry load.", kFeTextHi, -1, 1 | 4));
        return root;
    }

    FeNode SeriesChoice() {
        FeNode root = Screen(kSeries, "CAREER SERIES", "ARROWS CHOOSE   X START SERIES");
        const int gx = 220, gy = 140;
        static const int kLocked[12] = {265, 266, 267, 274, 275, 276, 283, 284, 285, 292, 293, 294};
        static const int kWon[12] = {268, 269, 270, 277, 278, 279, 286, 287, 288, 296, 295, 297};
        root.children.push_back(Panel(40, 96, 560, 300));
        for (int c = 0; c < 3; ++c)
            root.children.push_back(Text(gx + 102 * c, 108, 98, 28, kTierNames[c], kFeHint, -1, 1 | 4));
        for (int r = 0; r < 4; ++r) {
            root.children.push_back(Text(56, gy + 37 * r, 150, 33, kKindNames[r], kFeText, -1, 0 | 4));
            for (int c = 0; c < 3; ++c) {
                int s = r * 3 + c, x = gx + 102 * c, y = gy + 37 * r;
                root.children.push_back(Rect(x, y, 98, 33, G(40, 60, 120, 200), G(30, 44, 90, 200),
                                             G(20, 30, 70, 200), G(16, 24, 56, 200)));
                char races[16];
                std::snprintf(races, sizeof races, "%d RACES", kSeriesRaces[s]);
                // The count on the left of the cell, the lock or the won mark beside it on the right.
                root.children.push_back(Text(x + 2, y, 78, 33, races, kFeHint, -1, 0 | 4));
                root.children.push_back(Hidden(Sprite(x + 81, y + 7, 16, 16, kSprPadlock, kLocked[s])));
                root.children.push_back(Hidden(Sprite(x + 81, y + 7, 16, 16, kSprCheck, kWon[s])));
            }
        }
        // The cursor frame (moved by the screen in steps of 102 x 37) and the exit item.
        FeNode box = Group(gx - 3, gy - 3, 104, 39, 300);
        box.children.push_back(Fill(0, 0, 104, 3, kYellowG));
        box.children.push_back(Fill(0, 36, 104, 3, kYellowG));
        box.children.push_back(Fill(0, 3, 3, 33, kYellowG));
        box.children.push_back(Fill(101, 3, 3, 33, kYellowG));
        root.children.push_back(box);
        root.children.push_back(
            Text(gx, gy + 37 * 4 + 16, 300, 30, "EXIT TO MAIN MENU", kFeText, kFeTextHi, 0 | 4, 299));
        return root;
    }

    FeNode PreRace() {
        FeNode root = Screen(kPreRace, "CAREER", "UP/DOWN CHOOSE   X ACCEPT");
        static const int kIds[9] = {240, 242, 252, 244, 246, 248, 250, 254, 255};
        static const char* const kLabels[9] = {"RIDER SKILLS", "BIKE SELECT",   "STANDINGS",
                                               "RACE INFO",    "SERIES SELECT", "MAIN MENU",
                                               "START RACE",   "SIM: WIN RACE", "SIM: LOSE RACE"};
        root.children.push_back(Panel(48, 92, 340, 306));
        for (int i = 0; i < 9; ++i) {
            FeNode row = Button(60, 100 + 33 * i, 316, 30, kIds[i]);
            row.up = int16_t(kIds[(i + 8) % 9]);
            row.down = int16_t(kIds[(i + 1) % 9]);
            row.children.push_back(Text(12, 0, 300, 30, kLabels[i], kFeText, kFeTextHi));
            root.children.push_back(row);
        }
        root.focus = 240;
        // The career's own rider and bike, the screen shows the pair of the slot in play.
        root.children.push_back(Panel(404, 100, 212, 296));
        for (int k = 0; k < 10; ++k) {
            root.children.push_back(Hidden(Sprite(446, 116, 128, 128, kSprRider0 + k, kFePreRaceRider0 + k)));
            root.children.push_back(Hidden(Sprite(382, 258, 256, 128, kSprBike0 + k, kFePreRaceBike0 + k)));
        }
        return root;
    }

    FeNode Standings() {
        FeNode root = Screen(kStandings, "", "X CONTINUE   TRIANGLE BACK");
        static const int kHeaders[4] = {44, 46, 47, 45};
        for (int k = 0; k < 4; ++k) {
            FeNode t =
                Text(40, 30, 440, 44, std::string(kKindNames[k]) + " STANDINGS", kFeHead, -1, 4, kHeaders[k]);
            root.children.push_back(k == 0 ? t : Hidden(t));
        }
        root.children.push_back(Panel(170, 100, 390, 290));
        // The screen prints "race       races" with its tops at (438, 147), the second number 60 px on:
        // the words sit on that line, "OF" halfway between the numbers. Names and points from y 200.
        root.children.push_back(Text(372, 147, 60, 28, "RACE", kFeHint, -1, 0));
        root.children.push_back(Text(466, 147, 30, 28, "OF", kFeHint, -1, 0));
        root.children.push_back(Text(200, 176, 160, 20, "RIDER", kFeHint));
        root.children.push_back(Text(400, 176, 120, 20, "POINTS", kFeHint));
        root.children.push_back(Fill(190, 194, 350, 1, G(255, 138, 28, 200)));
        for (int i = 0; i < 8; ++i)
            root.children.push_back(
                Fill(190, 197 + 22 * i, 350, 20, i % 2 ? G(60, 80, 140, 50) : G(60, 80, 140, 110)));
        root.children.push_back(Sprite(40, 140, 128, 128, kSprSpecial));
        return root;
    }

    FeNode CareerRiderView() {
        FeNode root = Screen(kRiderView, "RIDER SKILLS", "ARROWS SPEND POINTS   X KEEP   TRIANGLE BACK");
        root.children.push_back(Panel(32, 96, 200, 300));
        for (int k = 0; k < 10; ++k) {
            root.children.push_back(Hidden(Sprite(52, 110, 160, 160, kSprRider0 + k, 205 + 3 * k)));
            root.children.push_back(
                Hidden(Text(32, 282, 200, 32, RiderName(k), kFeTextHi, -1, 1 | 4, 204 + 3 * k)));
        }
        root.children.push_back(Panel(248, 96, 360, 300));
        FeNode focus = Button(256, 104, 344, 34, 115);
        focus.children.push_back(Text(10, 0, 334, 34, "SPEND ABILITY POINTS", kFeText, kFeTextHi));
        root.children.push_back(focus);
        static const char* const kSkills[4] = {"JUMPING", "CORNERING", "STABILITY", "STUNT"};
        static const int kFirst[4] = {121, 135, 149, 163};
        for (int r = 0; r < 4; ++r) {
            int y = 152 + 44 * r;
            root.children.push_back(Text(266, y, 150, 30, kSkills[r], kFeText));
            for (int l = 0; l < 5; ++l) {
                FeNode pips = Sprite(420, y + 5, 172, 20, kSprPips0 + l, kFirst[r] + 2 * l);
                root.children.push_back(l == 0 ? pips : Hidden(pips));
            }
        }
        root.children.push_back(Text(266, 336, 200, 40, "POINTS LEFT", kFeText));
        for (int n = 0; n <= 12; ++n)
            root.children.push_back(
                Hidden(Text(480, 336, 110, 40, std::to_string(n), kFeBig, -1, 2 | 4, 177 + 2 * n)));
        return root;
    }

    FeNode Slots(int number, const std::string& title, bool first) {
        FeNode root = Screen(number, title,
                             first ? "UP/DOWN CHOOSE   X LOAD   O DELETE   TRIANGLE BACK"
                                   : "UP/DOWN CHOOSE   X LOAD   TRIANGLE MAIN MENU");
        // The screen prints the four slots at (160, 144 + 52 b) in the highlight font at the cursor.
        root.children.push_back(Panel(40, 110, 560, 236));
        for (int b = 0; b < 4; ++b) {
            root.children.push_back(Rect(150, 136 + 52 * b, 430, 32, G(40, 60, 120, 200), G(20, 30, 70, 120),
                                         G(20, 30, 70, 200), G(10, 16, 40, 120)));
            const std::string label = "SLOT " + std::to_string(first ? b + 1 : b + 5);
            root.children.push_back(Text(56, 136 + 52 * b, 90, 32, label, kFeHint, -1, 0 | 4));
        }
        if (!first) root.linkScreen = kSlots;  // the fifth item, which the screen leaves to its links
        return root;
    }

    FeNode Keyboard() {
        FeNode root = Screen(kKeyboard, "ENTER YOUR NAME", "ARROWS MOVE   X TYPE   O DELETE");
        root.children.push_back(Panel(40, 96, 560, 264));
        static const char* const kRows[4] = {"ABCDEFGHIJ", "KLMNOPQRST", "UVWXYZ0123", "456789-.!?"};
        std::vector<std::vector<int>> grid;
        int id = 373;
        for (int r = 0; r < 4; ++r) {
            grid.emplace_back();
            for (int c = 0; c < 10; ++c) {
                grid[r].push_back(id);
                id += 2;
            }
        }
        grid.push_back({id, id + 2});  // Backspace, Done
        std::vector<FeNode> keys;
        for (size_t r = 0; r < grid.size(); ++r)
            for (size_t c = 0; c < grid[r].size(); ++c) {
                bool wide = r == 4;
                int x = wide ? 120 + 220 * int(c) : 92 + 46 * int(c), y = 108 + 40 * int(r);
                FeNode key = Button(x, y, wide ? 180 : 40, 34, grid[r][c]);
                const auto& row = grid[r];
                key.left = int16_t(row[(c + row.size() - 1) % row.size()]);
                key.right = int16_t(row[(c + 1) % row.size()]);
                auto column = [&](size_t rr) {
                    if (rr == 4) return grid[4][c * 2 / 10];
                    return grid[rr][r == 4 ? c * 5 + 2 : c];
                };
                key.up = int16_t(column((r + 4) % 5));
                key.down = int16_t(column((r + 1) % 5));
                key.children.push_back(Fill(0, 0, wide ? 180 : 40, 34, G(40, 60, 120, 210)));
                key.children.push_back(Fill(0, 0, wide ? 180 : 40, 2, G(120, 150, 220, 200)));
                std::string label = wide ? (c == 0 ? "Backspace" : "Done") : std::string(1, kRows[r][c]);
                key.children.insert(key.children.begin(),
                                    KeyText(0, 0, wide ? 180 : 40, 34, label, 1 | 4, grid[r][c] + 1));
                keys.push_back(key);
            }
        // The key's label must be its first child; its background is drawn under it by putting the fill
        // rectangles in a group behind the buttons.
        for (FeNode& key : keys) {
            FeNode back = Group(key.x, key.y, key.w, key.h);
            back.children.assign(key.children.begin() + 1, key.children.end());
            key.children.resize(1);
            root.children.push_back(back);
        }
        for (FeNode& key : keys) root.children.push_back(key);
        // The screen prints the name at (200, 321).
        root.children.push_back(Text(60, 314, 120, 30, "NAME", kFeHint, -1, 0 | 4));
        root.children.push_back(Rect(190, 314, 380, 30, G(0, 0, 0, 200), G(0, 0, 0, 200), G(20, 30, 60, 200),
                                     G(20, 30, 60, 200)));
        root.focus = 373;
        return root;
    }

    FeNode TrophyCase() {
        FeNode root = Screen(kTrophies, "TROPHY CASE", "TRIANGLE BACK");
        static const int kIds[12] = {520, 525, 530, 518, 523, 528, 519, 524, 529, 521, 526, 531};
        root.children.push_back(Panel(32, 90, 376, 310));
        for (int k = 0; k < 4; ++k) {
            int y = 100 + 74 * k;
            root.children.push_back(Text(42, y + 20, 110, 30, kKindNames[k], kFeHint, -1, 0 | 4));
            for (int t = 0; t < 3; ++t) {
                int x = 150 + 84 * t;
                root.children.push_back(
                    Rect(x - 6, y + 62, 76, 8, G(120, 80, 40), G(120, 80, 40), G(60, 40, 20), G(60, 40, 20)));
                FeNode ghost = Sprite(x, y, 64, 64, kSprTrophy0 + t);
                ghost.alpha = 40;  // where the trophy will stand
                root.children.push_back(ghost);
                root.children.push_back(Hidden(Sprite(x, y, 64, 64, kSprTrophy0 + t, kIds[k * 3 + t])));
            }
        }
        root.children.push_back(Panel(424, 90, 192, 230));
        FeNode ghost = Sprite(456, 110, 128, 128, kSprSpecial);
        ghost.alpha = 40;
        root.children.push_back(ghost);
        root.children.push_back(Hidden(Sprite(456, 110, 128, 128, kSprSpecial, 539)));
        root.children.push_back(Text(424, 248, 192, 28, "GRAND", kFeText, -1, 1 | 4));
        root.children.push_back(Text(424, 274, 192, 28, "CHAMPION", kFeText, -1, 1 | 4));
        root.children.push_back(Hidden(Text(424, 94, 192, 20, "NEW!", kFeTextHi, -1, 1 | 4, 540)));
        root.children.push_back(Sprite(424, 336, 192, 40, kSprBar));
        FeNode back = Button(432, 336, 176, 40, 461);
        // X does nothing here: the focused item names the button that leaves.
        back.children.push_back(Text(0, 0, 176, 40, "TRIANGLE: BACK", kFeText, kFeTextHi, 1 | 4));
        root.children.push_back(back);
        root.focus = 461;
        return root;
    }

    FeNode Audio() {
        FeNode root = Screen(kAudio, "AUDIO", "UP/DOWN ROW  LEFT/RIGHT SET  X ACCEPT  TRIANGLE BACK");
        struct Row {
            int row, bar, first;
            const char* label;
        };
        static const Row kRows[5] = {{649, 651, 653, "MASTER"},
                                     {674, 677, 679, "EFFECTS"},
                                     {700, 703, 705, "ENGINE"},
                                     {726, 729, 731, "MUSIC"},
                                     {752, 755, 757, "OUTPUT"}};
        static const int kBoot[5] = {10, 8, 8, 2, 1};
        root.children.push_back(Panel(40, 96, 560, 304));
        for (int r = 0; r < 5; ++r)
            root.children.push_back(Sprite(48, 110 + 56 * r, 544, 40, kSprBar, kRows[r].bar));
        for (int r = 0; r < 5; ++r) {
            FeNode row = Button(60, 110 + 56 * r, 530, 40, kRows[r].row);
            row.up = int16_t(r > 0 ? kRows[r - 1].row : -1);
            row.down = int16_t(r < 4 ? kRows[r + 1].row : -1);
            row.children.push_back(Text(8, 0, 160, 40, kRows[r].label, kFeText, kFeTextHi));
            if (r < 4) {
                row.children.push_back(Fill(180, 12, 224, 16, G(10, 14, 30, 230)));
                for (int v = 0; v <= 10; ++v) {
                    FeNode item = Group(180, 0, 340, 40, kRows[r].first + 2 * v);
                    if (v > 0)
                        item.children.push_back(
                            Rect(2, 14, 22 * v, 12, kYellowG, kYellowG, G(200, 70, 10), G(200, 70, 10)));
                    item.children.push_back(
                        Text(240, 0, 60, 40, std::to_string(v), kFeText, kFeTextHi, 2 | 4));
                    row.children.push_back(v == kBoot[r] ? item : Hidden(item));
                }
            } else {
                for (int v = 0; v < 2; ++v) {
                    FeNode t =
                        Text(180, 0, 300, 40, v ? "STEREO" : "MONO", kFeText, kFeTextHi, 1 | 4, 757 + 2 * v);
                    row.children.push_back(v == kBoot[r] ? t : Hidden(t));
                }
            }
            root.children.push_back(row);
        }
        root.focus = 649;
        return root;
    }

    FeNode Controls() {
        FeNode root = Screen(kControls, "CONTROLLER", "LEFT/RIGHT ROW  UP/DOWN SET  X ACCEPT  TRIANGLE BACK");
        root.children.push_back(Sprite(48, 100, 264, 40, kSprBar));
        root.children.push_back(Sprite(328, 100, 264, 40, kSprBar));
        FeNode player = Button(60, 100, 240, 40, 763);
        player.right = 770;
        player.children.push_back(Text(0, 0, 240, 40, "PLAYER 1", kFeText, kFeTextHi, 1 | 4, 767));
        player.children.push_back(Hidden(Text(0, 0, 240, 40, "PLAYER 2", kFeText, kFeTextHi, 1 | 4, 769)));
        FeNode preset = Button(340, 100, 240, 40, 770);
        preset.left = 763;
        static const int kSel[4] = {773, 783, 793, 803};
        static const char* const kPresetNames[4] = {"PRESET A", "PRESET B", "PRESET C", "PRESET D"};
        for (int p = 0; p < 4; ++p) {
            FeNode t = Text(0, 0, 240, 40, std::string("< ") + kPresetNames[p] + " >", kFeText, kFeTextHi,
                            1 | 4, kSel[p]);
            preset.children.push_back(p == 0 ? t : Hidden(t));
        }
        root.children.push_back(player);
        root.children.push_back(preset);
        root.children.push_back(Panel(40, 150, 560, 250));
        root.children.push_back(Sprite(192, 156, 256, 128, kSprPad));
        static const char* const kButtons[8] = {"X", "SQUARE", "CIRCLE", "TRIANGLE", "L1", "R1", "L2", "R2"};
        // What each button does in a race with each preset (the race's controller maps the presets).
        static const char* const kActions[4][8] = {
            {"THROTTLE", "BRAKE", "NITRO", "CAMERA", "PRELOAD", "WHIP", "STUNT 1", "STUNT 2"},
            {"BRAKE", "CAMERA", "THROTTLE", "NITRO", "PRELOAD", "WHIP", "STUNT 1", "STUNT 2"},
            {"THROTTLE", "WHIP", "BRAKE", "NITRO", "PRELOAD", "CAMERA", "STUNT 1", "STUNT 2"},
            {"STUNT 1", "STUNT 2", "CAMERA", "NITRO", "BRAKE", "THROTTLE", "PRELOAD", "WHIP"},
        };
        static const int kBlock[4] = {774, 784, 794, 804};
        for (int p = 0; p < 4; ++p)
            for (int b = 0; b < 8; ++b) {
                int x = 60 + 280 * (b / 4), y = 292 + 26 * (b % 4);
                FeNode line = Group(x, y, 260, 24, kBlock[p] + b);
                line.children.push_back(Text(0, 0, 110, 24, kButtons[b], kFeTextHi));
                line.children.push_back(Text(110, 0, 150, 24, kActions[p][b], kFeText));
                root.children.push_back(p == 0 ? line : Hidden(line));
            }
        root.focus = 763;
        return root;
    }

    FeNode Practice() {
        FeNode root = Screen(kPractice, "TRACK VIEWER", "LEFT/RIGHT TRACK   TRIANGLE BACK");
        root.children.push_back(Panel(112, 96, 416, 300));
        for (int k = 0; k < 10; ++k) {
            FeNode pic = Sprite(128, 110, 384, 192, kSprTrack0 + 2 * 10 + k, 1050 + 3 * k);
            root.children.push_back(k == 0 ? pic : Hidden(pic));
        }
        root.children.push_back(Sprite(120, 320, 400, 40, kSprBar));
        FeNode names = Button(128, 320, 384, 40, 1046);
        names.children.push_back(Text(12, 0, 24, 40, "<", kFeText, kFeTextHi));
        names.children.push_back(Text(360, 0, 24, 40, ">", kFeText, kFeTextHi));
        for (int k = 0; k < 10; ++k) {
            FeNode t = Text(24, 0, 336, 40, kTrackNames[2][k], kFeText, kFeTextHi, 1 | 4, 1049 + 3 * k);
            names.children.push_back(k == 0 ? t : Hidden(t));
        }
        root.children.push_back(names);
        root.focus = 1046;
        return root;
    }

    FeNode Loading() {
        FeNode root = Screen(kLoading, "", "");
        root.children.push_back(Sprite(192, 60, 256, 128, kSprTitle));
        root.children.push_back(Text(0, 220, 640, 48, "LOADING", kFeBig, -1, 1 | 4));
        return root;
    }

    static FeNode Empty(int number) {
        FeNode root = Group(0, 0, 640, 448, number);
        root.type = 2;
        root.flags = 0x0008 | 0x0010;
        return root;
    }

private:
    std::map<std::string, int32_t> strings_;
};

}  // namespace

std::string BikeName(int model) {
    static const char* const kMakes[10] = {"QZ",     "QZ",      "HORNET", "VIPER", "BLAZE",
                                           "RAPTOR", "TYPHOON", "GHOST",  "STORM", "NOVA"};
    const int k = model < 0 || model >= 10 ? 0 : model;
    char name[24];
    std::snprintf(name, sizeof name, "%s %d%s", kMakes[k], BikeEngineCc(k), k < 2 ? " SX" : "");
    return name;
}

FrontEndDesign DesignFrontEnd() {
    Designer d;
    FrontEndDesign& out = d.design;

    // Pictures, in sprite-number order.
    out.sprites.push_back(TitleArt().image32("fe_title"));
    out.sprites.push_back(SmallLogo().image32("fe_logo"));
    out.sprites.push_back(HighlightBar().image32("fe_bar"));
    out.sprites.push_back(Padlock().image32("fe_lock"));
    out.sprites.push_back(CheckMark().image32("fe_check"));
    for (int t = 0; t < 3; ++t) out.sprites.push_back(Trophy(t).image32("fe_trophy" + std::to_string(t)));
    out.sprites.push_back(SpecialTrophy().image32("fe_grand"));
    out.sprites.push_back(PadDiagram().image32("fe_pad"));
    for (int l = 1; l <= 5; ++l) out.sprites.push_back(SkillPips(l).image32("fe_pips" + std::to_string(l)));
    for (int k = 0; k < 10; ++k) out.sprites.push_back(BikePicture(k).image32("fe_bike" + std::to_string(k)));
    for (int k = 0; k < 10; ++k)
        out.sprites.push_back(RiderPicture(k).image32("fe_rider" + std::to_string(k)));
    for (int kind = 0; kind < 4; ++kind)
        for (int e = 0; e < 10; ++e)
            out.sprites.push_back(TrackThumbnail(kind, e, WorldExists(kind, e))
                                      .image32("fe_trk" + std::to_string(kind * 10 + e)));

    // Fonts: our glyph set in the front end's styles.
    constexpr uint32_t kWhiteF = 0x80FFFFFF, kYellowF = 0x8050E8FF, kHintF = 0x80E8C8B4, kDimF = 0x80A09080;
    // The tallest character, descenders included: nine rows of the glyph set.
    constexpr int kRows = kFontAscentRows + kFontDescentRows;
    out.fonts = {
        {"frontend\\fe_text.fnt", WriteFont({2, kWhiteF, 2}, kSampleGlyphs), 2 * kRows},
        {"frontend\\fe_texthi.fnt", WriteFont({2, kYellowF, 2}, kSampleGlyphs), 2 * kRows},
        {"frontend\\fe_head.fnt", WriteFont({3, kWhiteF, 3}, kSampleGlyphs), 3 * kRows},
        {"frontend\\fe_hint.fnt", WriteFont({2, kHintF, 2}, kSampleGlyphs), 2 * kRows},
        {"frontend\\fe_big.fnt", WriteFont({4, 0x8020A0FF, 4}, kSampleGlyphs), 4 * kRows},
        {"frontend\\fe_dim.fnt", WriteFont({2, kDimF, 2}, kSampleGlyphs), 2 * kRows},
    };
    // The name keyboard's keys: a glyph-table font, white with a navy shadow, yellow when focused.
    FeFont keys{"frontend\\fe_keys.gly", {}, 2 * kRows + 1};
    keys.glyphTable =
        WriteGlyphTableFont(2, {{0xFFFF, 0x8000 | 2 | 3 << 5 | 9 << 10},
                                {0x8000 | 31 | 29 << 5 | 10 << 10, 0x8000 | 2 | 3 << 5 | 9 << 10}});
    out.fonts.push_back(std::move(keys));

    out.screens.resize(kScreenCount);
    for (int s = 0; s < kScreenCount; ++s) out.screens[s] = Designer::Empty(s);
    out.screens[kNoCard] = d.NoCard();
    out.screens[kCredits] = d.Credits();
    out.screens[kStandings] = d.Standings();
    out.screens[kCareerBike] = d.BikeChoice(kCareerBike, "CAREER BIKE", -1, 73, 74, 75);
    out.screens[kRiderView] = d.CareerRiderView();
    out.screens[kPreRace] = d.PreRace();
    out.screens[kSeries] = d.SeriesChoice();
    out.screens[kCareerRider] =
        d.RiderChoice(kCareerRider, "CAREER RIDER", 334, 335, 336, 3, "LEFT/RIGHT CHOOSE   X ACCEPT");
    out.screens[kKeyboard] = d.Keyboard();
    out.screens[kSlots2] = d.Slots(kSlots2, "CAREER SLOTS 5-8", false);
    out.screens[kSlots] = d.Slots(kSlots, "CAREER SLOTS 1-4", true);
    out.screens[kTrophies] = d.TrophyCase();
    out.screens[kAudio] = d.Audio();
    out.screens[kControls] = d.Controls();
    out.screens[kOptions] = d.Options();
    out.screens[kLoading] = d.Loading();
    out.screens[kP2Bike] = d.BikeChoice(kP2Bike, "PLAYER 2 BIKE", 873, 874, 875, 876);
    out.screens[kP2Rider] = d.RiderChoice(kP2Rider, "PLAYER 2 RIDER", 925, 926, 927, 3,
                                          "LEFT/RIGHT CHOOSE   X ACCEPT   TRIANGLE BACK");
    out.screens[kP1Bike] = d.BikeChoice(kP1Bike, "PLAYER 1 BIKE", 971, 972, 973, 974);
    out.screens[kP1Rider] = d.RiderChoice(kP1Rider, "PLAYER 1 RIDER", 1012, 1014, 1015, 3,
                                          "LEFT/RIGHT CHOOSE   X ACCEPT   TRIANGLE BACK");
    out.screens[kPractice] = d.Practice();
    out.screens[kFree] = d.Setup(
        kFree, 3,
        {{1086, 1119, 0, 0}, {1118, 1133, 0, 0}, 1088, 1089, {1123, 1125, 1127, 1129, 1131}, {0, 0}, {0, 0}},
        true);
    out.screens[kBaja] = d.Setup(kBaja, 0,
                                 {{1142, 1174, 1187, 1194},
                                  {1173, 1186, 1193, 1200},
                                  1144,
                                  1145,
                                  {1176, 1178, 1180, 1182, 1184},
                                  {1189, 1191},
                                  {1196, 1198}},
                                 false);
    out.screens[kOutdoor] = d.Setup(kOutdoor, 2,
                                    {{1210, 1243, 1256, 1263},
                                     {1212, 1255, 1262, 1269},
                                     1214,
                                     1215,
                                     {1245, 1247, 1249, 1251, 1253},
                                     {1258, 1260},
                                     {1265, 1267}},
                                    false);
    out.screens[kIndoor] = d.Setup(kIndoor, 1,
                                   {{1286, 1320, 1333, 1340},
                                    {1347, 1331, 1338, 1345},
                                    1288,
                                    1289,
                                    {1322, 1324, 1326, 1328, 1330},
                                    {1335, 1337},
                                    {1342, 1344}},
                                   false);
    out.screens[kModeSelect] = d.ModeSelect();
    out.screens[kDifficulty] = d.Difficulty();
    out.screens[kMainMenu] = d.MainMenu();
    out.screens[kStart] = d.StartScreen();
    return out;
}

std::string FrontEndNamesText() {
    static const char* const kCreditPeople[9] = {"MARA KOWALSKI", "DEV PATEL",       "JONAS BERG",
                                                 "ELENA ROSSI",   "KOFI MENSAH",     "HANA SATO",
                                                 "LIAM O'NEILL",  "SOFIA LUNDQVIST", "TOMAS OKAFOR"};
    return namesfile::WriteNames(
        std::vector<std::string>(std::begin(kCreditPeople), std::end(kCreditPeople)));
}
