#include "console/spu/spu_voice.h"

#include <immintrin.h>

#include <algorithm>
#include <cstring>

#include "console/spu/block_cache.h"

namespace console {
namespace {

constexpr uint32_t kBlockSpan = static_cast<uint32_t>(kAdpcmBlockSamples) << 12;

int32_t StepFor(uint32_t samples) {
    return static_cast<int32_t>((kSpuEnvelopeFull + samples - 1) / samples);
}

int32_t AttackStep(uint16_t adsr1) {
    const uint32_t rate = (adsr1 >> 8) & 0x7F;
    return StepFor(1u << (rate >> 3));
}

int32_t ReleaseStep(uint16_t adsr2) {
    const uint32_t rate = adsr2 & 0x1F;
    return StepFor(4u << (rate >> 1));
}

// Envelope level and volume register to a gain, then the core's master volume; 0x3FFF is unity.
int32_t Gain(int32_t level, uint16_t vol, int32_t master) {
    const int32_t v = std::min<int32_t>(vol, kSpuMaxVolume);
    const int32_t g = (level * v + 0x4000) >> 15;
    return (g * master + 0x2000) >> 14;
}

// acc += s * g >> 14 for both sides. s is within 16 bits and g below 0x8000, so the 16-bit multiply-add
// gives the exact 32-bit product four lanes at a time.
void AddScaled(const int32_t* mono, int32_t* accL, int32_t* accR, int n, int32_t gL, int32_t gR) {
    int k = 0;
    const __m128i vgL = _mm_set1_epi32(gL);
    const __m128i vgR = _mm_set1_epi32(gR);
    for (; k + 4 <= n; k += 4) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(mono + k));
        // Clear the upper halves so only s * g is summed.
        const __m128i s16 = _mm_and_si128(s, _mm_set1_epi32(0xFFFF));
        const __m128i l = _mm_srai_epi32(_mm_madd_epi16(s16, vgL), 14);
        const __m128i r = _mm_srai_epi32(_mm_madd_epi16(s16, vgR), 14);
        __m128i* pl = reinterpret_cast<__m128i*>(accL + k);
        __m128i* pr = reinterpret_cast<__m128i*>(accR + k);
        _mm_storeu_si128(pl, _mm_add_epi32(_mm_loadu_si128(pl), l));
        _mm_storeu_si128(pr, _mm_add_epi32(_mm_loadu_si128(pr), r));
    }
    for (; k < n; ++k) {
        accL[k] += (mono[k] * gL) >> 14;
        accR[k] += (mono[k] * gR) >> 14;
    }
}

// Linear interpolation of `n` output samples from `buf` starting at `pos` (1/4096 source samples);
// returns the position after them. Every position stays below buf's last sample.
uint32_t Resample(const int16_t* buf, int32_t* out, int n, uint32_t pos, uint32_t step) {
    for (int k = 0; k < n; ++k) {
        const uint32_t idx = pos >> 12;
        const int32_t a = buf[idx];
        out[k] = a + (((buf[idx + 1] - a) * static_cast<int32_t>(pos & 0xFFF)) >> 12);
        pos += step;
    }
    return pos;
}

// The same, eight at a time where the processor can gather: one 32-bit load at sample idx brings
// sample idx (low half) and idx + 1 (high half).
__attribute__((target("avx2"))) uint32_t ResampleAvx2(const int16_t* buf, int32_t* out, int n, uint32_t pos,
                                                      uint32_t step) {
    int k = 0;
    if (n >= 8) {
        __m256i vpos = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(pos)),
                                        _mm256_mullo_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7),
                                                           _mm256_set1_epi32(static_cast<int>(step))));
        const __m256i vstep = _mm256_set1_epi32(static_cast<int>(step * 8));
        const __m256i fracMask = _mm256_set1_epi32(0xFFF);
        for (; k + 8 <= n; k += 8) {
            const __m256i idx = _mm256_srli_epi32(vpos, 12);
            const __m256i pair = _mm256_i32gather_epi32(reinterpret_cast<const int*>(buf), idx, 2);
            const __m256i a = _mm256_srai_epi32(_mm256_slli_epi32(pair, 16), 16);
            const __m256i b = _mm256_srai_epi32(pair, 16);
            const __m256i frac = _mm256_and_si256(vpos, fracMask);
            const __m256i d = _mm256_srai_epi32(_mm256_mullo_epi32(_mm256_sub_epi32(b, a), frac), 12);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + k), _mm256_add_epi32(a, d));
            vpos = _mm256_add_epi32(vpos, vstep);
        }
        pos += static_cast<uint32_t>(k) * step;
    }
    return Resample(buf, out + k, n - k, pos, step);
}

using ResampleFn = uint32_t (*)(const int16_t*, int32_t*, int, uint32_t, uint32_t);
// Both give the same integers; the faster one is picked once.
const ResampleFn g_resample = __builtin_cpu_supports("avx2") ? ResampleAvx2 : Resample;

}  // namespace

void SpuVoice::reset() {
    *this = SpuVoice();
}

void SpuVoice::stop() {
    phase_ = SpuEnvelopePhase::Off;
    level_ = 0;
    endFlag_ = true;
}

void SpuVoice::loadBlock(const uint8_t* mem, uint32_t addr) {
    buf_[0] = buf_[kAdpcmBlockSamples];
    decodeBlock(mem, addr, buf_ + 1);
}

void SpuVoice::decodeBlock(const uint8_t* mem, uint32_t addr, int16_t* out) {
    blockAddr_ = addr;
    blockFlags_ = SpuDecodedBlocks().decode(mem, addr, &h1_, &h2_, out);
    if (blockFlags_ & kAdpcmFlagLoopStart) loopAddr_ = addr;
}

bool SpuVoice::advance(const uint8_t* mem, int16_t* out) {
    uint32_t next = blockAddr_ + kAdpcmBlockBytes;
    if (blockFlags_ & kAdpcmFlagLoopEnd) {
        endFlag_ = true;
        if (!(blockFlags_ & kAdpcmFlagRepeat)) {
            stop();
            return false;
        }
        next = loopAddr_;
    }
    // Sound that runs off the end of memory stops there rather than wrapping into unrelated data.
    if (next > kSpuMemSize - kAdpcmBlockBytes) {
        stop();
        return false;
    }
    decodeBlock(mem, next, out);
    return true;
}

bool SpuVoice::nextBlock(const uint8_t* mem) {
    const int16_t last = buf_[kAdpcmBlockSamples];
    if (!advance(mem, buf_ + 1)) return false;
    buf_[0] = last;
    return true;
}

void SpuVoice::keyOn(const uint8_t* mem) {
    uint32_t addr = startAddr & ~static_cast<uint32_t>(kAdpcmBlockBytes - 1);
    if (addr > kSpuMemSize - kAdpcmBlockBytes) addr = kSpuMemSize - kAdpcmBlockBytes;
    h1_ = h2_ = 0;
    buf_[kAdpcmBlockSamples] = 0;
    loopAddr_ = addr;
    pos_ = 0;
    loadBlock(mem, addr);
    endFlag_ = false;
    attackStep_ = AttackStep(adsr1);
    releaseStep_ = ReleaseStep(adsr2);
    level_ = 0;
    phase_ = SpuEnvelopePhase::Attack;
}

void SpuVoice::keyOff() {
    if (phase_ == SpuEnvelopePhase::Off) return;
    releaseStep_ = ReleaseStep(adsr2);
    phase_ = SpuEnvelopePhase::Release;
}

int SpuVoice::mixSustain(const uint8_t* mem, int32_t* accL, int32_t* accR, int frames, int32_t masterL,
                         int32_t masterR, uint32_t step) {
    // The blocks this stretch passes are decoded one after another into a window, so the whole stretch
    // is resampled in one pass: window[0] is the sample before the current block, block b (0 = the
    // current one) fills window[1 + 28b .. 28 + 28b].
    int16_t window[kAdpcmBlockSamples + 1 + kWindowBlocks * kAdpcmBlockSamples];
    std::memcpy(window, buf_, sizeof buf_);
    const uint64_t posEnd = pos_ + static_cast<uint64_t>(frames) * step;
    const int entered = static_cast<int>(posEnd / kBlockSpan);  // blocks moved on to, as played
    int have = 0;
    bool stopped = false;
    for (int b = 1; b <= entered; ++b) {
        if (!advance(mem, window + 1 + b * kAdpcmBlockSamples)) {
            stopped = true;
            break;
        }
        have = b;
    }
    int n = frames;
    if (stopped) {
        // Sound up to the end of the last block there was; silence after it.
        const uint64_t span = static_cast<uint64_t>(have + 1) * kBlockSpan - pos_;
        n = static_cast<int>((span + step - 1) / step);
    }
    int32_t mono[kSpuMixMaxFrames];
    g_resample(window, mono, n, pos_, step);
    AddScaled(mono, accL, accR, n, Gain(kSpuEnvelopeFull, volL, masterL),
              Gain(kSpuEnvelopeFull, volR, masterR));
    if (!stopped) {
        pos_ = static_cast<uint32_t>(posEnd - static_cast<uint64_t>(have) * kBlockSpan);
        std::memcpy(buf_, window + have * kAdpcmBlockSamples, sizeof buf_);
    }
    return n;
}

void SpuVoice::mix(const uint8_t* mem, int32_t* accL, int32_t* accR, int frames, int32_t masterL,
                   int32_t masterR) {
    const uint32_t step = std::min<uint16_t>(pitch, kSpuMaxPitch);
    if (frames > kSpuMixMaxFrames) frames = kSpuMixMaxFrames;
    int i = 0;
    while (i < frames && phase_ != SpuEnvelopePhase::Off) {
        if (phase_ == SpuEnvelopePhase::Sustain) {
            // The level is steady to the end of the request: one stretch.
            i += mixSustain(mem, accL + i, accR + i, frames - i, masterL, masterR, step);
            break;
        }
        // Attack and release change the level every sample: sample by sample, up to the end of the
        // block (or the whole request while the pitch is 0).
        int run = frames - i;
        if (step != 0) {
            const uint32_t left = (kBlockSpan - pos_ + step - 1) / step;
            if (left < static_cast<uint32_t>(run)) run = static_cast<int>(left);
        }
        int k = 0;
        for (; k < run; ++k) {
            if (phase_ == SpuEnvelopePhase::Attack) {
                level_ += attackStep_;
                if (level_ >= kSpuEnvelopeFull) {
                    level_ = kSpuEnvelopeFull;
                    phase_ = SpuEnvelopePhase::Sustain;
                }
            } else {
                level_ -= releaseStep_;
                if (level_ <= 0) {
                    stop();
                    break;
                }
            }
            const uint32_t idx = pos_ >> 12;
            const int32_t a = buf_[idx];
            const int32_t s = a + (((buf_[idx + 1] - a) * static_cast<int32_t>(pos_ & 0xFFF)) >> 12);
            accL[i + k] += (s * Gain(level_, volL, masterL)) >> 14;
            accR[i + k] += (s * Gain(level_, volR, masterR)) >> 14;
            pos_ += step;
            if (phase_ == SpuEnvelopePhase::Sustain) {
                ++k;
                break;
            }
        }
        i += k;
        if (phase_ == SpuEnvelopePhase::Off) break;
        if (pos_ >= kBlockSpan) {
            pos_ -= kBlockSpan;
            if (!nextBlock(mem)) break;
        }
    }
}

}  // namespace console
