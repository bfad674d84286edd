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
    std::string fault;
    if (ReadSoundTuning(text, size, &t, &fault)) {
        if (!CheckSoundTuning(t)) std::abort();
        const std::string again = WriteSoundTuning(t);
        SoundTuning u;
        if (!ReadSoundTuning(again.data(), again.size(), &u)) std::abort();
        if (!CheckSoundTuning(u)) std::abort();
    } else if (fault.empty()) {
        std::abort();  // every refusal says why
    }
    std::free(text);
    return 0;
}
