#include "host/sdl_audio.h"

#include <vector>

namespace host {
namespace {
constexpr int kRate = 48000;
constexpr int kBytesPerFrame = 4;
constexpr int kMinBuffer = 512;
constexpr int kMaxBuffer = 1024;
// Queue at most this many device buffers ahead; start with a little silence queued so the frame-sized
// pieces the mixer delivers never leave the device empty.
constexpr uint32_t kMaxBuffersQueued = 8;
constexpr int kPrimeBuffers = 2;
}  // namespace

SdlAudio::~SdlAudio() {
    Close();
}

bool SdlAudio::Open(int bufferFrames, Error* error) {
    Close();
    if (!SDL_WasInit(SDL_INIT_AUDIO) && SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return error->Set("no sound device (%s)", SDL_GetError());
    if (bufferFrames < kMinBuffer) bufferFrames = kMinBuffer;
    if (bufferFrames > kMaxBuffer) bufferFrames = kMaxBuffer;
    SDL_AudioSpec want = {};
    want.freq = kRate;
    want.format = AUDIO_S16LSB;
    want.channels = 2;
    want.samples = static_cast<Uint16>(bufferFrames);
    SDL_AudioSpec have = {};
    // No changes allowed: the mixer produces exactly this format.
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device_ == 0) return error->Set("no sound device (%s)", SDL_GetError());
    maxQueuedBytes_ = kMaxBuffersQueued * static_cast<uint32_t>(have.samples) * kBytesPerFrame;
    const std::vector<uint8_t> silence(static_cast<size_t>(kPrimeBuffers) * have.samples * kBytesPerFrame, 0);
    SDL_QueueAudio(device_, silence.data(), static_cast<Uint32>(silence.size()));
    SDL_PauseAudioDevice(device_, 0);
    return true;
}

void SdlAudio::Close() {
    if (device_ != 0) SDL_CloseAudioDevice(device_);
    device_ = 0;
    if (SDL_WasInit(SDL_INIT_AUDIO)) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void SdlAudio::Queue(const int16_t* stereo, int frames) {
    if (device_ == 0 || frames <= 0) return;
    if (SDL_GetQueuedAudioSize(device_) > maxQueuedBytes_) SDL_ClearQueuedAudio(device_);
    SDL_QueueAudio(device_, stereo, static_cast<Uint32>(frames) * kBytesPerFrame);
}

}  // namespace host
