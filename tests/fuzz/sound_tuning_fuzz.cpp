// libFuzzer target for the sound tuning reader ("AUDIO\sound.txt"). The input is copied to a buffer of
// exactly its size from the C library's allocator, so AddressSanitizer sees any read past its end. An
// accepted tuning must pass the range check, and writing it and reading that back must give it again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "audio/sound_tuning_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;
    auto* text = static_cast<char*>(std::malloc(size ? size : 1));
    if (!text) return 0;
    if (size) std::memcpy(text, data, size);
    SoundTuning t;
    const FormatCheck read = ReadSoundTuning(text, size, &t);
    if (read.ok) {
        if (!CheckSoundTuning(t).ok) std::abort();
        const std::string again = WriteSoundTuning(t);
        SoundTuning u;
        if (!ReadSoundTuning(again.data(), again.size(), &u).ok) std::abort();
        if (!CheckSoundTuning(u).ok) std::abort();
    } else if (read.why[0] == '\0') {
        std::abort();  // every refusal says why
    }
    std::free(text);
    return 0;
}
