#include "engine/sys/xinit.h"

#include "engine/font/font.h"
#include "engine/sys/files.h"
#include "engine/sys/heap.h"
#include "engine/sys/math.h"

void x_Init(int, char**) {
    // A debug font, when the I/O layer offers one, prints aligned to its top, in white, mono-spaced.
    // This build's layer offers none.
    if (auto* font = static_cast<_font*>(x_DebugFontGet())) {
        veFontSetVerticalAlignment(font, 2);
        veFontSetColor(font, 0xFFFFFFFFu);
        veFontSetMonoSpacing(font);
    }
    x_MemoryInit();
    x_InitSTDIO();
    x_InitMATH();
}
