#include "audio/sound_reader.h"

#include <algorithm>
#include <cstdlib>

#include "audio/mixer.h"
#include "audio/sound_factory.h"
#include "audio/sound_storage.h"
#include "engine/hal/sound_hw.h"
#include "engine/sys/clock.h"

namespace {

_Sample* SampleOf(int id) {
    if ((CSoundFactory::getFlagsForSoundId(id) & kSoundKindMask) != kSoundKindVemo) return nullptr;
    return static_cast<CVemoSoundStorage*>(CSoundFactory::getSoundById(id))->sample;
}

// The instance still belongs to this reader's sound (the engine reuses slots once a voice has gone).
bool Ours(const _SampleInstance* in, const _Sample* sample) {
    return in && (in->status & kInstanceInUse) && in->sample == sample;
}

// Keys the voice off (also a key-on still waiting in this frame's batch) and frees the slot.
void ReleaseVoice(_SampleInstance* in, const _Sample* sample) {
    if (!Ours(in, sample)) return;
    veSoundStopSampleInstance(in);
    veSoundDestroySampleInstance(in);
}

}  // namespace

CSoundReader::CSoundReader(int id) : soundId(id), flags(CSoundFactory::getFlagsForSoundId(id)) {}

CSoundReader::~CSoundReader() {
    CMixer::releaseReader(this);
}

void CSoundReader::_clone(CSoundReader* to) const {
    to->priority = priority;
    to->group = group;
    to->loop = loop;
}

// One sample.

CVemoSoundReader::CVemoSoundReader(int id) : CSoundReader(id) {}

CVemoSoundReader::~CVemoSoundReader() {
    ReleaseVoice(instance, SampleOf(soundId));
}

void CVemoSoundReader::catchUp() {
    const uint64_t now = veClockGetCycles();
    if (now > playedAt)
        played +=
            static_cast<double>(now - playedAt) / static_cast<double>(veClockGetCPUClockSpeed()) * playRate;
    playedAt = now;
}

double CVemoSoundReader::secondsLeft() {
    _Sample* sample = SampleOf(soundId);
    if (_finished) return 0.0;
    if (!sample || !Ours(instance, sample) || loop || (sample->status & kSampleLoops) ||
        sample->header.looped)
        return kForever;
    catchUp();
    if (playRate <= 0.0) return kForever;
    const double total = static_cast<double>(sample->header.length / 16 * 28);
    return std::max(0.0, (total - played) / playRate);
}

void CVemoSoundReader::setParams(CSoundParams& params) {
    _Sample* sample = SampleOf(soundId);
    if (!sample || !instance) return;
    const auto rate =
        static_cast<int32_t>(static_cast<float>(veSoundGetSampleRate(sample)) * params.pitchMultiplier);
    // The new rate reaches the voice with this step's batch: what was played so far went at the old one.
    catchUp();
    playRate = static_cast<double>(veSoundHardwareRateToPitch(rate)) * 48000.0 / 4096.0;
    _Pan5Dot1 own;
    veSoundGetSamplePan(sample, &own);
    _Pan5Dot1 pan;
    pan.panLR = params.pan * 2.0f - 1.0f + own.panLR;
    pan.panFB = params.fbPan * 2.0f - 1.0f + own.panFB;
    pan.panVolume = params.volume * params.volumeScale * own.panVolume;
    pan.centerVolume = own.centerVolume;
    pan.lfeVolume = own.lfeVolume;
    if (loop) sample->status |= kSampleLoops;
    veSoundSetSampleInstanceRate(instance, rate, 1);
    veSoundSetSampleInstancePan(instance, &pan, 1);
}

void CVemoSoundReader::preMaintenance(CSoundParams& params) {
    if (instance) {
        setParams(params);
        return;
    }
    _Sample* sample = SampleOf(soundId);
    if (!sample) return;
    _Pan5Dot1 own;
    veSoundGetSamplePan(sample, &own);
    instance = veSoundCreateSampleInstance(sample, -1, static_cast<uint32_t>(-1), &own);
    if (!instance) return;  // every voice taken: try again next time
    played = 0.0;
    playRate = 0.0;
    playedAt = veClockGetCycles();
    setParams(params);
    veSoundStartSampleInstance(instance);
    firstFrame = 1;
}

void CVemoSoundReader::postMaintenance() {
    if (!instance) return;
    const int32_t status = instance->status;
    if (!Ours(instance, SampleOf(soundId)) || (!firstFrame && !(status & kInstancePlaying)) ||
        (status & kInstanceStopPending)) {
        instance = nullptr;
        _finished = 1;
        return;
    }
    firstFrame = 0;
}

void CVemoSoundReader::stop() {
    _finished = 1;
    // Stopped whether or not it sounds yet: a key-on still in this frame's batch would otherwise start
    // a voice nobody owns.
    if (Ours(instance, SampleOf(soundId))) veSoundStopSampleInstance(instance);
    instance = nullptr;
}

void CVemoSoundReader::reset() {
    _finished = 0;
    ReleaseVoice(instance, SampleOf(soundId));
    instance = nullptr;
}

CSoundReader* CVemoSoundReader::clone() {
    auto* r = new CVemoSoundReader(soundId);
    _clone(r);
    return r;
}

// A left and right pair.

CStereoSoundReader::CStereoSoundReader(int leftId, int rightId) : CSoundReader(-1) {
    left.reset(CSoundFactory::getReader(leftId));
    right.reset(CSoundFactory::getReader(rightId));
    flags = left ? left->flags : 0;
}

CStereoSoundReader::~CStereoSoundReader() {
    // Left first, as the heap has always seen them go.
    left.reset();
    right.reset();
}

void CStereoSoundReader::stop() {
    if (left) left->stop();
    if (right) right->stop();
}

void CStereoSoundReader::reset() {
    if (left) left->reset();
    if (right) right->reset();
}

bool CStereoSoundReader::finished() {
    return (!left || left->finished()) && (!right || right->finished());
}

double CStereoSoundReader::secondsLeft() {
    return std::max(left ? left->secondsLeft() : 0.0, right ? right->secondsLeft() : 0.0);
}

void CStereoSoundReader::preMaintenance(CSoundParams& params) {
    if (left) left->preMaintenance(params);
    if (right) right->preMaintenance(params);
}

void CStereoSoundReader::postMaintenance() {
    if (left) left->postMaintenance();
    if (right) right->postMaintenance();
}

CSoundReader* CStereoSoundReader::clone() {
    auto* r = new CStereoSoundReader;
    r->left.reset(left ? left->clone() : nullptr);
    r->right.reset(right ? right->clone() : nullptr);
    r->flags = flags;
    _clone(r);
    return r;
}

// A chain or random choice of parts.

double CComplexSoundReader::stepSeconds = 0.0;

CComplexSoundReader::CComplexSoundReader() : CSoundReader(-1) {
    flags = 0;
}

CComplexSoundReader::~CComplexSoundReader() {
    sounds.clear();  // the parts first to last, before the composite's other lists
}

void CComplexSoundReader::addSound(CSoundReader* reader) {
    if (!reader) return;
    sounds.emplace_back(reader);
    if (!(flags & kSoundKindMask)) flags = reader->flags & kSoundKindMask;
}

void CComplexSoundReader::setRandomize(bool on) {
    randomize = on ? 1 : 0;
    if (on) shuffle();
}

void CComplexSoundReader::shuffle() {
    if (sounds.size() < 2) return;
    if (shufflePos < 0 || static_cast<size_t>(shufflePos) >= shuffled.size()) {
        shuffled.clear();
        shufflePos = 0;
        std::vector<int> candidates;
        for (int i = 0; i < static_cast<int>(sounds.size()); ++i)
            if (i != curSnd) candidates.push_back(i);
        const int n = static_cast<int>(candidates.size());
        std::vector<uint8_t> taken(static_cast<size_t>(n), 0);
        for (int k = 0; k < n; ++k) {
            int r = std::rand() % (n - k);
            while (taken[static_cast<size_t>(r)]) r = (r + 1) % n;
            taken[static_cast<size_t>(r)] = 1;
            shuffled.push_back(candidates[static_cast<size_t>(r)]);
        }
    }
    curSnd = shuffled[static_cast<size_t>(shufflePos)];
    ++shufflePos;
}

void CComplexSoundReader::advance() {
    if (randomize) {
        if (loop)
            shuffle();
        else
            _finished = 1;
    } else {
        const int n = static_cast<int>(sounds.size());
        const CSoundReader* previous =
            curSnd >= 0 && curSnd < n ? sounds[static_cast<size_t>(curSnd)].get() : nullptr;
        // One full cycle at most: when every successor is disabled the chain ends instead of spinning.
        for (int steps = 0;; ++steps) {
            if (steps >= n) {
                _finished = 1;
                break;
            }
            if (++curSnd >= n) {
                if (!loop) {
                    _finished = 1;
                    break;
                }
                curSnd = 0;
            }
            const auto pair = std::make_pair(const_cast<CSoundReader*>(previous),
                                             sounds[static_cast<size_t>(curSnd)].get());
            if (std::find(disabledCombos.begin(), disabledCombos.end(), pair) == disabledCombos.end()) break;
        }
    }
    if (!_finished && curSnd >= 0 && static_cast<size_t>(curSnd) < sounds.size())
        sounds[static_cast<size_t>(curSnd)]->reset();
}

double CComplexSoundReader::secondsLeft() {
    if (_finished) return 0.0;
    const int n = static_cast<int>(sounds.size());
    if (curSnd < 0 || curSnd >= n) return kForever;
    // Ends with the current part: a single random pick, or the last of a chain that does not loop.
    const bool last = !loop && (randomize || curSnd + 1 >= n);
    return last ? sounds[static_cast<size_t>(curSnd)]->secondsLeft() : kForever;
}

void CComplexSoundReader::preMaintenance(CSoundParams& params) {
    if (_finished) return;
    if (sounds.empty()) {
        _finished = 1;
        return;
    }
    if (curSnd < 0) curSnd = 0;
    CSoundReader* part = sounds[static_cast<size_t>(curSnd)].get();
    const bool goesOn = loop || (!randomize && curSnd + 1 < static_cast<int>(sounds.size()));
    if (part->finished()) {
        part->reset();
        advance();
    } else if (goesOn && part->secondsLeft() <= stepSeconds) {
        // The part runs out before the next step's key-ons would land: its successor is keyed on in this
        // step, and the part is keyed off with it (its release overlaps the new part's start), so the
        // sound goes on without a gap.
        part->stop();
        advance();
    }
    if (!_finished) sounds[static_cast<size_t>(curSnd)]->preMaintenance(params);
}

void CComplexSoundReader::postMaintenance() {
    if (_finished || curSnd < 0 || static_cast<size_t>(curSnd) >= sounds.size()) return;
    sounds[static_cast<size_t>(curSnd)]->postMaintenance();
}

void CComplexSoundReader::stop() {
    for (const std::unique_ptr<CSoundReader>& s : sounds) s->stop();
}

void CComplexSoundReader::reset() {
    for (const std::unique_ptr<CSoundReader>& s : sounds) s->reset();
    curSnd = -1;
    if (randomize) shuffle();
    _finished = 0;
}

CSoundReader* CComplexSoundReader::clone() {
    auto* r = new CComplexSoundReader;
    for (const std::unique_ptr<CSoundReader>& s : sounds) r->addSound(s->clone());
    // The pairs name this composite's parts: the clone's pairs name the matching clones.
    auto indexOf = [this](const CSoundReader* p) {
        return static_cast<size_t>(
            std::find_if(sounds.begin(), sounds.end(), [p](const auto& s) { return s.get() == p; }) -
            sounds.begin());
    };
    for (const auto& [a, b] : disabledCombos) {
        const size_t ia = indexOf(a), ib = indexOf(b);
        if (ia >= sounds.size() || ib >= sounds.size()) continue;
        const auto pair = std::make_pair(r->sounds[ia].get(), r->sounds[ib].get());
        if (std::find(r->disabledCombos.begin(), r->disabledCombos.end(), pair) == r->disabledCombos.end())
            r->disabledCombos.push_back(pair);
    }
    _clone(r);
    r->randomize = randomize;
    if (randomize) r->shuffle();
    return r;
}
