#include "audio/sound_tuning.h"

#include <algorithm>
#include <string>

#include "console/cd/disc_faults.h"
#include "engine/sys/files.h"
#include "engine/sys/heap.h"

SoundTuning LoadSoundTuning() {
    SoundTuning t = DefaultSoundTuning();
    int length = 0;
    void* text = x_LoadFileLength(kSoundTuningFile, &length);
    if (!text) {
        x_printf("%s: not found; the race uses the default sound tuning\n", kSoundTuningFile);
        return t;
    }
    // A file longer than the reader's buffer is refused whole rather than read cut.
    const FormatCheck c =
        ReadSoundTuning(static_cast<const char*>(text), static_cast<size_t>(std::max(length, 0)), &t);
    if (!c.ok) {
        x_printf("%s: %s; the race uses the default sound tuning\n", kSoundTuningFile, c.why);
        console::CdReportDamaged(kSoundTuningFile, c.why);  // gone without: the user hears why
    }
    x_free(text);
    return t;
}
