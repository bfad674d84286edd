#include "console/spu/spu_voice.h"

#include <algorithm>

namespace console {
namespace {

constexpr uint32_t kBlockSpan = static_cast<uint32_t>(kAdpcmBlockSamples) << 12;

int32_t StepFor(uint32_t samples) { return static_cast<int32_t>((kSpuEnvelopeFull + samples - 1) / samples); }

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

}  // namespace

void SpuVoice::reset() { *this = SpuVoice(); }

void SpuVoice::stop() {
    phase_ = SpuEnvelopePhase::Off;
    level_ = 0;
    endFlag_ = true;
}

void SpuVoice::loadBlock(const uint8_t* mem, uint32_t addr) {
    blockAddr_ = addr;
    const uint8_t* block = mem + addr;
    buf_[0] = buf_[kAdpcmBlockSamples];
    blockFlags_ = AdpcmDecodeBlock(block, buf_ + 1, &h1_, &h2_);
    if (blockFlags_ & kAdpcmFlagLoopStart) loopAddr_ = addr;
}

bool SpuVoice::nextBlock(const uint8_t* mem) {
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
    loadBlock(mem, next);
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

void SpuVoice::mix(const uint8_t* mem, int32_t* accL, int32_t* accR, int frames, int32_t masterL,
                   int32_t masterR) {
    const uint32_t step = std::min<uint16_t>(pitch, kSpuMaxPitch);
    int i = 0;
    while (i < frames && phase_ != SpuEnvelopePhase::Off) {
        // Samples until the block ends (or the whole request while the pitch is 0).
        int run = frames - i;
        if (step != 0) {
            const uint32_t left = (kBlockSpan - pos_ + step - 1) / step;
            if (left < static_cast<uint32_t>(run)) run = static_cast<int>(left);
        }
        if (phase_ == SpuEnvelopePhase::Sustain) {
            const int32_t gL = Gain(level_, volL, masterL);
            const int32_t gR = Gain(level_, volR, masterR);
            uint32_t pos = pos_;
            for (int k = 0; k < run; ++k) {
                const uint32_t idx = pos >> 12;
                const int32_t a = buf_[idx];
                const int32_t s = a + (((buf_[idx + 1] - a) * static_cast<int32_t>(pos & 0xFFF)) >> 12);
                accL[i + k] += (s * gL) >> 14;
                accR[i + k] += (s * gR) >> 14;
                pos += step;
            }
            pos_ = pos;
            i += run;
        } else {
            // Attack and release change the level every sample.
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
        }
        if (pos_ >= kBlockSpan) {
            pos_ -= kBlockSpan;
            if (!nextBlock(mem)) break;
        }
    }
}

}  // namespace console
