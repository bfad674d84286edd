// Sound readers: one playing use of a sound. The sound objects hand readers to a mixer channel; the
// mixer makes them start, update and notice the end of their engine voice. One sample
// (CVemoSoundReader), a left and right pair (CStereoSoundReader), or a chain or random choice of other
// readers (CComplexSoundReader), which is how engine, crowd and announcer sounds are built.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "audio/sound_params.h"
#include "engine/hal/sound.h"

class CSoundReader {
public:
    static constexpr double kForever = 1e30;

    explicit CSoundReader(int id);
    // Takes the reader out of every mixer channel that still holds it, so a reader deleted between a
    // step's update and the frame's mix is never played.
    virtual ~CSoundReader();
    CSoundReader(const CSoundReader&) = delete;
    CSoundReader& operator=(const CSoundReader&) = delete;

    virtual void stop() = 0;
    virtual void reset() = 0;
    virtual bool finished() = 0;
    // Seconds of output until the reader finishes by itself, as far as it can tell now (kForever when it
    // will not: it loops, waits to start, or goes on to another part of its own).
    virtual double secondsLeft() { return kForever; }
    virtual void preMaintenance(CSoundParams& params) = 0;
    virtual void postMaintenance() = 0;
    // A new reader that plays the same thing; the caller owns it.
    virtual CSoundReader* clone() = 0;

    int32_t soundId;
    uint32_t flags;  // the sound's storage flags; kind in the low four bits
    uint8_t loop = 0;
    int32_t priority = 0;  // smaller = more important
    int32_t group = 0;

protected:
    void _clone(CSoundReader* to) const;
};

class CVemoSoundReader : public CSoundReader {
public:
    explicit CVemoSoundReader(int id);
    // Destroys the voice: a looping voice would otherwise sound on after its owner is gone.
    ~CVemoSoundReader() override;

    void stop() override;
    void reset() override;
    bool finished() override { return _finished != 0; }
    void preMaintenance(CSoundParams& params) override;
    void postMaintenance() override;
    CSoundReader* clone() override;

    // Rate, pan and loop of the voice from the parameters and the sample's own values.
    void setParams(CSoundParams& params);
    // From the source samples played since the voice started, at the rates it was given.
    double secondsLeft() override;

    _SampleInstance* instance = nullptr;
    uint8_t _finished = 0;
    uint8_t firstFrame = 0;

private:
    // Brings `played` up to the clock at the rate the voice has had since `playedAt`.
    void catchUp();
    double played = 0.0;    // source samples
    double playRate = 0.0;  // source samples a second, as the voice's pitch register plays them
    uint64_t playedAt = 0;  // engine clock cycles
};

class CStereoSoundReader : public CSoundReader {
public:
    CStereoSoundReader(int leftId, int rightId);
    ~CStereoSoundReader() override;

    void stop() override;
    void reset() override;
    bool finished() override;
    double secondsLeft() override;
    void preMaintenance(CSoundParams& params) override;
    void postMaintenance() override;
    CSoundReader* clone() override;

    std::unique_ptr<CSoundReader> left;
    std::unique_ptr<CSoundReader> right;

private:
    CStereoSoundReader() : CSoundReader(-1) {}
};

class CComplexSoundReader : public CSoundReader {
public:
    CComplexSoundReader();
    ~CComplexSoundReader() override;

    // Takes a part (a reader new from the factory or a clone) and appends it; null is ignored. The first
    // part with a kind gives the composite its kind.
    void addSound(CSoundReader* reader);
    void setRandomize(bool on);
    // Draws a new random order of the parts (never starting with the part that just played) when the
    // current one is used up, then moves to its next entry.
    void shuffle();
    // To the next part: random mode reshuffles (loop) or finishes; sequential mode steps on, skipping
    // pairs in disabledCombos, and gives up (finished) after one full cycle finds nothing allowed.
    void advance();

    void stop() override;
    void reset() override;
    bool finished() override { return _finished != 0; }
    // The current part's, when the composite ends with it.
    double secondsLeft() override;
    void preMaintenance(CSoundParams& params) override;
    void postMaintenance() override;
    CSoundReader* clone() override;

    // Output seconds between two sound steps (kept by the mixers): a part with less than this left ends
    // before the next step's key-ons reach the voices, so its successor is keyed on in this step.
    static double stepSeconds;

    uint8_t _finished = 0;
    std::vector<std::unique_ptr<CSoundReader>> sounds;
    std::vector<int> shuffled;
    int32_t shufflePos = -1;
    std::vector<std::pair<CSoundReader*, CSoundReader*>> disabledCombos;  // parts of `sounds`
    int32_t curSnd = -1;
    uint8_t randomize = 0;
};
