#include "mkdisc/audio_synth.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include "engine/hal/sound_format.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRate = kSynthRate;

// A small fixed-seed generator, the same on every machine.
class Rng {
public:
    explicit Rng(uint32_t seed) : x_(seed * 2654435761u + 12345u) {}
    uint32_t next() {
        x_ ^= x_ << 13;
        x_ ^= x_ >> 17;
        x_ ^= x_ << 5;
        return x_;
    }
    double uniform() { return (next() >> 8) / 16777216.0; }  // 0..1
    double signedUnit() { return uniform() * 2.0 - 1.0; }

private:
    uint32_t x_;
};

// A second-order section (the usual audio-cookbook forms).
class Biquad {
public:
    static Biquad lowPass(double hz, double q) { return make(hz, q, 0); }
    static Biquad bandPass(double hz, double q) { return make(hz, q, 1); }
    static Biquad highPass(double hz, double q) { return make(hz, q, 2); }
    double run(double x) {
        const double y = b0_ * x + b1_ * x1_ + b2_ * x2_ - a1_ * y1_ - a2_ * y2_;
        x2_ = x1_, x1_ = x, y2_ = y1_, y1_ = y;
        return y;
    }

private:
    static Biquad make(double hz, double q, int kind) {
        const double w = 2 * kPi * std::min(hz, kRate * 0.45) / kRate;
        const double alpha = std::sin(w) / (2 * q), c = std::cos(w), a0 = 1 + alpha;
        Biquad f;
        if (kind == 0) f.b0_ = f.b2_ = (1 - c) / 2 / a0, f.b1_ = (1 - c) / a0;
        if (kind == 1) f.b0_ = alpha / a0, f.b1_ = 0, f.b2_ = -alpha / a0;
        if (kind == 2) f.b0_ = f.b2_ = (1 + c) / 2 / a0, f.b1_ = -(1 + c) / a0;
        f.a1_ = -2 * c / a0, f.a2_ = (1 - alpha) / a0;
        return f;
    }
    double b0_ = 1, b1_ = 0, b2_ = 0, a1_ = 0, a2_ = 0, x1_ = 0, x2_ = 0, y1_ = 0, y2_ = 0;
};

int Frames(double seconds) {
    return static_cast<int>(seconds * kRate);
}

// Scales to a peak of `peak` (0..1 of full scale) with short fades at both ends against clicks.
Pcm Finish(std::vector<double> v, double peak, bool fades = true) {
    double top = 1e-9;
    for (double s : v) top = std::max(top, std::fabs(s));
    const size_t fade = fades ? std::min<size_t>(v.size() / 4, 66) : 0;
    Pcm out(v.size());
    for (size_t i = 0; i < v.size(); ++i) {
        double g = peak * 32767.0 / top;
        if (i < fade) g *= static_cast<double>(i) / fade;
        if (v.size() - 1 - i < fade) g *= static_cast<double>(v.size() - 1 - i) / fade;
        out[i] = static_cast<int16_t>(std::lround(std::clamp(v[i] * g, -32768.0, 32767.0)));
    }
    return out;
}

// A seamless loop of whole ADPCM blocks: generates a little more than the loop and fades the overhang
// into the start, so the sample after the last one continues the sound.
Pcm FinishLoop(const std::function<std::vector<double>(int)>& make, double seconds, double peak) {
    const int n = std::max(1, Frames(seconds) / kSampleBlockFrames) * kSampleBlockFrames;
    const int over = std::min(n / 4, Frames(0.08));
    std::vector<double> v = make(n + over);
    for (int i = 0; i < over; ++i) {
        const double w = static_cast<double>(i) / over;
        v[static_cast<size_t>(i)] = v[static_cast<size_t>(i)] * w + v[static_cast<size_t>(n + i)] * (1 - w);
    }
    v.resize(static_cast<size_t>(n));
    return Finish(std::move(v), peak, false);
}

double Decay(double t, double tau) {
    return std::exp(-t / tau);
}
double Attack(double t, double rise) {
    return t >= rise ? 1.0 : t / rise;
}

// Sum of decaying sine partials (bells, clangs, knocks) starting at `start` seconds.
void AddPartials(std::vector<double>& v, double start, std::initializer_list<std::pair<double, double>> hzTau,
                 double gain) {
    const int s0 = Frames(start);
    for (size_t i = static_cast<size_t>(s0); i < v.size(); ++i) {
        const double t = static_cast<double>(i - static_cast<size_t>(s0)) / kRate;
        double x = 0;
        int k = 0;
        for (auto [hz, tau] : hzTau) x += std::sin(2 * kPi * hz * t) * Decay(t, tau) / (1 + 0.4 * k++);
        v[i] += gain * x * Attack(t, 0.002);
    }
}

// Filtered noise with an envelope.
void AddNoise(std::vector<double>& v, Rng& rng, Biquad filter, const std::function<double(double)>& env,
              double gain, double start = 0) {
    for (size_t i = static_cast<size_t>(Frames(start)); i < v.size(); ++i)
        v[i] += gain * filter.run(rng.signedUnit()) * env(static_cast<double>(i) / kRate - start);
}

// ---- engines ----

const EngineTune kTunes[kEngineClasses] = {{58, 215, 7}, {43, 165, 5}, {31, 118, 8}};

// A class's voice at firing frequency f(t): the two-stroke 125 is bright and raspy, the 250 rounder,
// the four-stroke 400 a low thump with half-order components. `load` 0..1 brightens and loudens it.
std::vector<double> EngineVoice(int cls, int frames, const std::function<double(double)>& hz,
                                const std::function<double(double)>& load, uint32_t seed) {
    Rng rng(seed);
    static const double kTilt[kEngineClasses] = {0.55, 0.9, 1.25};
    static const double kNoise[kEngineClasses] = {0.22, 0.14, 0.10};
    const int harmonics = cls == 2 ? 24 : 14;  // the 400's are half orders
    double phases[24];
    for (double& p : phases) p = rng.uniform() * 2 * kPi;
    Biquad rasp = Biquad::bandPass(cls == 0 ? 2400 : 1500, 0.8);
    std::vector<double> v(static_cast<size_t>(frames));
    double phi = 0;  // firing phase, in cycles
    double wobble = 0;
    for (int i = 0; i < frames; ++i) {
        const double t = i / kRate, f = hz(t), l = load(t);
        wobble += 0.02 * (rng.signedUnit() - wobble);
        phi += f * (1 + 0.01 * wobble) / kRate;
        double x = 0;
        for (int k = 1; k <= harmonics; ++k) {
            const double order = cls == 2 ? k * 0.5 : k;
            if (order * f > kRate * 0.45) break;
            double a = std::pow(order, -kTilt[cls] + 0.35 * l);
            if (cls == 2 && k % 2 == 1) a *= k == 1 ? 0.7 : 0.35;
            x += a * std::sin(2 * kPi * order * phi + phases[k - 1]);
        }
        // Combustion noise in pulses at the firing rate.
        const double pulse = std::pow(0.5 + 0.5 * std::cos(2 * kPi * phi), 6);
        x += kNoise[cls] * (0.5 + l) * pulse * rasp.run(rng.signedUnit()) * 6;
        v[static_cast<size_t>(i)] = x * (0.55 + 0.45 * l);
    }
    return v;
}

struct Sweep {
    double startHz, endHz, seconds;
    int shape;  // 0 rise quick then settle, 1 fall, 2 up and back down (a blip), 3 steady
};

Sweep EngineSweep(int cls, EngineSample s) {
    const EngineTune& t = kTunes[cls];
    const double i = t.idleHz, m = t.maxHz;
    switch (s) {
        case EngineSample::Accel1:
            return {i, m, 1.6, 0};
        case EngineSample::Accel2:
            return {i * 1.05, m * 0.97, 1.4, 0};
        case EngineSample::Accel1s:
            return {m * 0.7, m, 0.5, 0};
        case EngineSample::Accel2s:
            return {m * 0.66, m * 0.98, 0.55, 0};
        case EngineSample::Decel1:
            return {m * 0.85, i, 0.9, 1};
        case EngineSample::Decel2:
            return {m * 0.8, i * 1.04, 1.0, 1};
        case EngineSample::Decel3:
            return {m * 0.9, i * 1.02, 0.8, 1};
        case EngineSample::Decel4:
            return {m * 0.78, i, 1.1, 1};
        case EngineSample::Idle1:
            return {i, i, 0.8, 3};
        case EngineSample::Idle2:
            return {i * 1.06, i * 1.06, 0.75, 3};
        case EngineSample::Rev1:
            return {i, m * 0.8, 1.0, 2};
        case EngineSample::Rev2:
            return {i, m * 0.9, 1.2, 2};
    }
    return {i, i, 0.5, 3};
}

double SweepHz(const Sweep& s, double t) {
    const double u = std::clamp(t / s.seconds, 0.0, 1.0);
    switch (s.shape) {
        case 0:
            return s.startHz + (s.endHz - s.startHz) * (1 - std::exp(-3 * u)) / (1 - std::exp(-3.0));
        case 1:
            return s.endHz + (s.startHz - s.endHz) * std::exp(-4 * u);
        case 2:
            return s.startHz + (s.endHz - s.startHz) * (u < 0.3 ? u / 0.3 : std::exp(-5 * (u - 0.3)));
        default:
            return s.startHz;
    }
}

}  // namespace

const EngineTune& EngineTuneOf(int engineClass) {
    return kTunes[std::clamp(engineClass, 0, 2)];
}

void EngineSampleSweep(int engineClass, EngineSample which, double* startHz, double* endHz) {
    const Sweep s = EngineSweep(std::clamp(engineClass, 0, 2), which);
    *startHz = SweepHz(s, 0);
    *endHz = SweepHz(s, s.seconds);
}

double EngineSustainHz(int engineClass, int k) {
    const EngineTune& t = EngineTuneOf(engineClass);
    return t.maxHz * (0.75 + 0.25 * k / std::max(1, t.sustainCount - 1));
}

Pcm SynthEngineSample(int engineClass, EngineSample which) {
    const int cls = std::clamp(engineClass, 0, 2);
    const Sweep s = EngineSweep(cls, which);
    const uint32_t seed = 1000u * static_cast<uint32_t>(cls + 1) + static_cast<uint32_t>(which);
    const bool accel = s.shape == 0 || s.shape == 2;
    auto hz = [s](double t) { return SweepHz(s, t); };
    auto load = [s, accel](double t) {
        if (s.shape == 3) return 0.1;
        return accel ? std::min(1.0, 0.5 + t / s.seconds) : 0.25 * std::exp(-3 * t / s.seconds);
    };
    if (s.shape == 3) {
        // Idle: a slightly lumpy loop at the class's idle.
        return FinishLoop(
            [&](int n) {
                std::vector<double> v = EngineVoice(cls, n, hz, load, seed);
                for (int i = 0; i < n; ++i)
                    v[static_cast<size_t>(i)] *= 0.85 + 0.15 * std::sin(2 * kPi * s.startHz / 4 * i / kRate);
                return v;
            },
            s.seconds, 0.42);
    }
    std::vector<double> v = EngineVoice(cls, Frames(s.seconds), hz, load, seed);
    if (s.shape == 1 && (which == EngineSample::Decel2 || which == EngineSample::Decel4)) {
        // Backfire pops while the engine runs down.
        Rng rng(seed + 7);
        for (int p = 0; p < 5; ++p) {
            const double at = 0.15 + rng.uniform() * (s.seconds - 0.3);
            std::vector<double> pop(v.size(), 0);
            AddNoise(
                pop, rng, Biquad::lowPass(900, 0.7), [](double t) { return t < 0 ? 0 : Decay(t, 0.012); },
                2.5, at);
            for (size_t i = 0; i < v.size(); ++i) v[i] += pop[i];
        }
    }
    return Finish(std::move(v), accel ? 0.6 : 0.45);
}

Pcm SynthEngineSustain(int engineClass, int k) {
    const int cls = std::clamp(engineClass, 0, 2);
    const double f = EngineSustainHz(cls, k);
    const uint32_t seed = 5000u + 100u * static_cast<uint32_t>(cls) + static_cast<uint32_t>(k);
    std::vector<double> v = EngineVoice(
        cls, Frames(0.36), [f](double t) { return f * (1 + 0.015 * std::sin(2 * kPi * 3 * t)); },
        [](double) { return 1.0; }, seed);
    return Finish(std::move(v), 0.6);
}

Pcm SynthEvent(EventSound which) {
    Rng rng(9000u + static_cast<uint32_t>(which));
    std::vector<double> v;
    switch (which) {
        case EventSound::Brake: {  // a squeal over scraping
            v.assign(static_cast<size_t>(Frames(0.6)), 0);
            for (size_t i = 0; i < v.size(); ++i) {
                const double t = i / kRate;
                v[i] = std::sin(2 * kPi * (2600 * t + 40 / (2 * kPi * 6) * std::sin(2 * kPi * 6 * t))) *
                       Attack(t, 0.03) * Decay(t, 0.35) * 0.6;
            }
            AddNoise(
                v, rng, Biquad::bandPass(3000, 2), [](double t) { return Decay(t, 0.25); }, 1.5);
            break;
        }
        case EventSound::PowerSlide: {  // dirt sprayed from the back wheel
            v.assign(static_cast<size_t>(Frames(0.8)), 0);
            auto env = [](double t) { return Attack(t, 0.1) * Decay(t, 0.35); };
            AddNoise(v, rng, Biquad::bandPass(900, 0.7), env, 2.0);
            AddNoise(v, rng, Biquad::lowPass(250, 0.7), env, 1.5);
            for (int g = 0; g < 60; ++g) {  // stones
                const size_t at = static_cast<size_t>(rng.uniform() * static_cast<double>(v.size() - 200));
                for (size_t i = 0; i < 120; ++i)
                    v[at + i] += 0.3 * rng.signedUnit() * Decay(i / kRate, 0.002);
            }
            break;
        }
        case EventSound::Checkpoint:  // a two-note bell
            v.assign(static_cast<size_t>(Frames(0.9)), 0);
            AddPartials(v, 0, {{1046.5, 0.3}, {2888, 0.12}, {5650, 0.05}}, 1);
            AddPartials(v, 0.12, {{1568, 0.35}, {4328, 0.12}, {8467, 0.04}}, 1);
            break;
        case EventSound::Collide:  // metal struck, with a crunch
            v.assign(static_cast<size_t>(Frames(0.6)), 0);
            AddPartials(v, 0, {{310, 0.2}, {737, 0.15}, {1241, 0.1}, {1980, 0.06}, {3130, 0.04}}, 1);
            AddNoise(
                v, rng, Biquad::lowPass(2500, 0.7), [](double t) { return Decay(t, 0.03); }, 3);
            break;
        case EventSound::Count:
        case EventSound::Go: {  // start beeps: the go an octave up and longer
            const double hz = which == EventSound::Go ? 1760 : 880, len = which == EventSound::Go ? 0.7 : 0.3;
            v.assign(static_cast<size_t>(Frames(len)), 0);
            for (size_t i = 0; i < v.size(); ++i) {
                const double t = i / kRate;
                v[i] = std::sin(2 * kPi * hz * t) + 0.3 * std::sin(2 * kPi * 3 * hz * t);
            }
            break;
        }
        case EventSound::HoleShot:    // a brass arpeggio to a held chord
        case EventSound::TrackBonus:  // a stacked major chord
        {
            const bool hole = which == EventSound::HoleShot;
            const double notes[4] = {hole ? 523.3 : 392.0, hole ? 659.3 : 493.9, hole ? 784.0 : 587.3,
                                     hole ? 1046.5 : 784.0};
            v.assign(static_cast<size_t>(Frames(hole ? 1.2 : 1.0)), 0);
            for (int n = 0; n < 4; ++n) {
                const double start = n * (hole ? 0.12 : 0.05);
                for (size_t i = static_cast<size_t>(Frames(start)); i < v.size(); ++i) {
                    const double t = i / kRate - start;
                    double x = 0;
                    for (int k = 1; k <= 6; ++k) x += std::sin(2 * kPi * k * notes[n] * t) / k;
                    v[i] += x * Attack(t, 0.02) * Decay(t, 0.6);
                }
            }
            break;
        }
        case EventSound::Landing: {  // the suspension bottoming: a low falling thump
            v.assign(static_cast<size_t>(Frames(0.45)), 0);
            double phi = 0;
            for (size_t i = 0; i < v.size(); ++i) {
                const double t = i / kRate;
                phi += (45 + 45 * Decay(t, 0.08)) / kRate;
                v[i] = std::sin(2 * kPi * phi) * Decay(t, 0.12) * Attack(t, 0.004);
            }
            AddNoise(
                v, rng, Biquad::lowPass(400, 0.7), [](double t) { return Decay(t, 0.05); }, 2.5);
            break;
        }
        case EventSound::Bonus:  // a quick rising sparkle
            v.assign(static_cast<size_t>(Frames(0.6)), 0);
            for (int n = 0; n < 6; ++n)
                AddPartials(v, n * 0.05, {{1318.5 * std::pow(2.0, n / 4.0), 0.12}}, 1);
            break;
        case EventSound::Nitro: {  // a rising whoosh with a climbing whine
            v.assign(static_cast<size_t>(Frames(1.2)), 0);
            double phi = 0;
            for (size_t i = 0; i < v.size(); ++i) {
                const double t = i / kRate, u = t / 1.2;
                phi += (200 + 400 * u) / kRate;
                v[i] = 0.4 * std::sin(2 * kPi * phi) * Attack(t, 0.2) * (1 - u);
            }
            for (int seg = 0; seg < 12; ++seg) {  // the band climbs in steps of 0.1 s
                std::vector<double> part(v.size(), 0);
                AddNoise(
                    part, rng, Biquad::bandPass(400 * std::pow(1.2, seg), 1.5),
                    [](double t) { return t < 0 || t > 0.1 ? 0.0 : 1.0; }, 1.2, seg * 0.1);
                for (size_t i = 0; i < v.size(); ++i)
                    v[i] += part[i] * (1 - i / static_cast<double>(v.size()));
            }
            break;
        }
        case EventSound::GetNitro:  // two trembling pickup tones
            v.assign(static_cast<size_t>(Frames(0.5)), 0);
            AddPartials(v, 0, {{1318.5, 0.2}}, 1);
            AddPartials(v, 0.1, {{1975.5, 0.25}}, 1);
            for (size_t i = 0; i < v.size(); ++i) v[i] *= 0.75 + 0.25 * std::sin(2 * kPi * 8 * i / kRate);
            break;
    }
    // The start beeps are pure tones heard over the whole field: quieter, or they would swamp the mix.
    const bool beep = which == EventSound::Count || which == EventSound::Go;
    return Finish(std::move(v), beep ? 0.45 : 0.7);
}

namespace {

// Vowel formants (Hz) for the voiced sounds.
const double kVowels[][2] = {{640, 1190}, {500, 900}, {750, 1250}, {550, 1770}, {350, 2200}, {450, 1050}};

// A voiced syllable: a pulse train at f0 (gliding by `glide` over the syllable) through two formants.
void AddSyllable(std::vector<double>& v, Rng& rng, double start, double len, double f0, double glide,
                 int vowel, double gain) {
    Biquad f1 = Biquad::bandPass(kVowels[vowel][0], 6), f2 = Biquad::bandPass(kVowels[vowel][1], 8);
    Biquad breath = Biquad::bandPass(kVowels[vowel][1], 2);
    double phi = 0;
    const size_t s0 = static_cast<size_t>(Frames(start));
    const size_t end = std::min(v.size(), s0 + static_cast<size_t>(Frames(len)));
    for (size_t i = s0; i < end; ++i) {
        const double t = (i - s0) / kRate, u = t / len;
        phi += f0 * (1 + glide * u) / kRate;
        const double pulse = phi - std::floor(phi) < 0.08 ? 1.0 : 0.0;
        const double env = Attack(t, 0.02) * (u > 0.7 ? (1 - u) / 0.3 : 1.0);
        v[i] += gain * env * (f1.run(pulse) * 1.5 + f2.run(pulse) + 0.08 * breath.run(rng.signedUnit()));
    }
}

}  // namespace

Pcm SynthGrunt(int k) {
    Rng rng(9100u + static_cast<uint32_t>(k));
    const double len = 0.22 + 0.02 * (k % 5);
    std::vector<double> v(static_cast<size_t>(Frames(len + 0.02)), 0);
    AddSyllable(v, rng, 0, len, 105 + 11 * k, -0.25, k % 4, 1);
    AddNoise(
        v, rng, Biquad::bandPass(1500, 1), [](double t) { return Decay(t, 0.04); }, 0.6);
    return Finish(std::move(v), 0.7);
}

Pcm SynthAnnouncer(int k) {
    Rng rng(9200u + static_cast<uint32_t>(k));
    const int syllables = 4 + k % 4;
    double t = 0.05;
    std::vector<double> dry(static_cast<size_t>(Frames(0.25 * syllables + 0.8)), 0);
    for (int s = 0; s < syllables; ++s) {
        const double len = 0.12 + 0.08 * rng.uniform() + (s == syllables - 1 ? 0.25 : 0);
        const double f0 = (135 + 8 * (k % 3)) * (s == syllables - 1 ? 1.25 : 1 - 0.04 * s);
        // A consonant before most syllables.
        if (rng.uniform() < 0.7)
            AddNoise(
                dry, rng, Biquad::highPass(2500, 0.7), [](double u) { return u < 0 || u > 0.04 ? 0.0 : 1.0; },
                0.25, t);
        AddSyllable(dry, rng, t + 0.03, len, f0, s == syllables - 1 ? -0.3 : 0.05,
                    static_cast<int>(rng.next() % 6), 1);
        t += len + 0.04 + 0.05 * rng.uniform();
    }
    dry.resize(static_cast<size_t>(Frames(t + 0.6)), 0);
    // Through the hall's loudspeakers: telephone band and two echoes.
    Biquad lo = Biquad::highPass(300, 0.7), hi = Biquad::lowPass(3400, 0.7);
    std::vector<double> v(dry.size(), 0);
    const size_t d1 = static_cast<size_t>(Frames(0.11)), d2 = static_cast<size_t>(Frames(0.23));
    for (size_t i = 0; i < v.size(); ++i) {
        double x = dry[i] + (i >= d1 ? 0.35 * dry[i - d1] : 0) + (i >= d2 ? 0.15 * dry[i - d2] : 0);
        v[i] = hi.run(lo.run(x));
    }
    return Finish(std::move(v), 0.7);
}

Pcm SynthCheer(int k, bool right) {
    Rng rng(9300u + 2u * static_cast<uint32_t>(k) + (right ? 1u : 0u));
    const double len = 1.6 + 0.15 * k;
    std::vector<double> v(static_cast<size_t>(Frames(len)), 0);
    auto env = [len](double t) { return Attack(t, 0.35) * (t > len - 0.6 ? (len - t) / 0.6 : 1.0); };
    // Many voices' worth of breathy noise, and a few shouted "woo"s gliding up.
    AddNoise(v, rng, Biquad::bandPass(1100, 0.6), env, 1.4);
    AddNoise(v, rng, Biquad::bandPass(450, 1.0), env, 0.8);
    for (int w = 0; w < 10; ++w)
        AddSyllable(v, rng, rng.uniform() * (len - 0.7), 0.4 + 0.3 * rng.uniform(), 220 + 160 * rng.uniform(),
                    0.3, 1 + static_cast<int>(rng.next() % 2), 0.35);
    return Finish(std::move(v), 0.65);
}

bool WorldSoundLoops(WorldSound which) {
    return which == WorldSound::CrowdMurmur || which == WorldSound::Wind || which == WorldSound::Birds ||
           which == WorldSound::Generator;
}

Pcm SynthWorldSound(WorldSound which, uint32_t seed) {
    Rng rng(9400u + seed * 16u + static_cast<uint32_t>(which));
    switch (which) {
        case WorldSound::CrowdMurmur:
            return FinishLoop(
                [&](int n) {
                    std::vector<double> v(static_cast<size_t>(n), 0);
                    AddNoise(
                        v, rng, Biquad::bandPass(700, 0.5),
                        [](double t) {
                            return 0.7 + 0.2 * std::sin(2 * kPi * 0.7 * t) + 0.1 * std::sin(9 * t);
                        },
                        1);
                    for (int w = 0; w < 12; ++w)
                        AddSyllable(v, rng, rng.uniform() * (n / kRate - 0.4), 0.2, 120 + 120 * rng.uniform(),
                                    0, static_cast<int>(rng.next() % 6), 0.15);
                    return v;
                },
                3.0, 0.25);
        case WorldSound::Wind:
            return FinishLoop(
                [&](int n) {
                    std::vector<double> v(static_cast<size_t>(n), 0);
                    Biquad low = Biquad::lowPass(350, 0.9);
                    for (int i = 0; i < n; ++i) {
                        const double t = i / kRate;
                        v[static_cast<size_t>(i)] =
                            low.run(rng.signedUnit()) * (0.6 + 0.4 * std::sin(2 * kPi * 0.3 * t));
                    }
                    return v;
                },
                4.0, 0.3);
        case WorldSound::Birds:
            return FinishLoop(
                [&](int n) {
                    std::vector<double> v(static_cast<size_t>(n), 0);
                    for (int c = 0; c < 9; ++c) {
                        const double at = rng.uniform() * (n / kRate - 0.2), f = 3000 + 2000 * rng.uniform();
                        const double dir = rng.uniform() < 0.5 ? -1 : 1;
                        double phi = 0;
                        for (int i = Frames(at); i < std::min(n, Frames(at + 0.07)); ++i) {
                            const double t = i / kRate - at;
                            phi += (f + dir * 9000 * t) / kRate;
                            v[static_cast<size_t>(i)] += std::sin(2 * kPi * phi) * std::sin(kPi * t / 0.07);
                        }
                    }
                    return v;
                },
                3.0, 0.25);
        case WorldSound::Generator:  // a diesel generator: its four-stroke chug, the alternator's buzz
            return FinishLoop(
                [&](int n) {
                    std::vector<double> v(static_cast<size_t>(n), 0);
                    auto firing = [](double t) {
                        const double p = 0.5 + 0.5 * std::sin(2 * kPi * 12.5 * t);
                        return 0.55 + 0.45 * p * p * p;
                    };
                    for (int i = 0; i < n; ++i) {
                        const double t = i / kRate;
                        double buzz = 0;
                        for (int k = 1; k <= 16; ++k) buzz += std::sin(2 * kPi * 50 * k * t + 0.7 * k) / k;
                        v[static_cast<size_t>(i)] = buzz * firing(t);
                    }
                    AddNoise(v, rng, Biquad::bandPass(1100, 0.9), firing, 1.2);
                    AddNoise(v, rng, Biquad::lowPass(180, 0.7), firing, 1.5);
                    return v;
                },
                2.0, 0.2);
        default:
            break;
    }
    std::vector<double> v(static_cast<size_t>(Frames(0.5)), 0);
    switch (which) {
        case WorldSound::FenceHit:  // a rattling chain-link fence
            for (int h = 0; h < 4; ++h)
                AddPartials(v, h * 0.06, {{523, 0.08}, {1379, 0.06}, {2210, 0.04}}, 1.0 / (h + 1));
            break;
        case WorldSound::TyreHit:  // a rubbery bounce
            AddPartials(v, 0, {{120, 0.08}, {260, 0.04}}, 1);
            AddPartials(v, 0.16, {{125, 0.05}}, 0.3);
            break;
        case WorldSound::HayBaleHit:  // a soft thud and straw
            AddNoise(
                v, rng, Biquad::lowPass(300, 0.7), [](double t) { return Decay(t, 0.06); }, 2);
            AddNoise(
                v, rng, Biquad::bandPass(3000, 1), [](double t) { return Decay(t, 0.04); }, 0.4);
            break;
        case WorldSound::BarrelHit:  // a hollow plastic knock
            AddPartials(v, 0, {{420, 0.09}, {980, 0.05}, {1620, 0.03}}, 1);
            break;
        default:  // PostHit: a wooden knock
            AddPartials(v, 0, {{600, 0.05}, {1450, 0.03}, {2400, 0.02}}, 1);
            break;
    }
    return Finish(std::move(v), 0.7);
}

Pcm SynthMenuSound(MenuSound which) {
    std::vector<double> v;
    switch (which) {
        case MenuSound::Move:
            v.assign(static_cast<size_t>(Frames(0.05)), 0);
            AddPartials(v, 0, {{1500, 0.012}}, 1);
            break;
        case MenuSound::Select:
            v.assign(static_cast<size_t>(Frames(0.1)), 0);
            AddPartials(v, 0, {{1000, 0.03}}, 1);
            AddPartials(v, 0.03, {{1200, 0.03}}, 1);
            break;
        case MenuSound::Start:
            v.assign(static_cast<size_t>(Frames(0.7)), 0);
            for (int n = 0; n < 4; ++n)
                AddPartials(v, n * 0.07,
                            {{523.3 * std::pow(2.0, (n == 3 ? 12 : n * 4 - (n == 2)) / 12.0), 0.25}}, 1);
            break;
        case MenuSound::Accept:
        case MenuSound::Back: {
            const bool up = which == MenuSound::Accept;
            v.assign(static_cast<size_t>(Frames(0.18)), 0);
            AddPartials(v, 0, {{up ? 880 : 1318.5, 0.04}}, 1);
            AddPartials(v, 0.07, {{up ? 1318.5 : 880, 0.05}}, 1);
            break;
        }
        case MenuSound::Error:
            v.assign(static_cast<size_t>(Frames(0.35)), 0);
            for (size_t i = 0; i < v.size(); ++i) {
                const double t = i / kRate;
                const bool on = t < 0.13 || (t > 0.18 && t < 0.32);
                v[i] = on ? (std::fmod(t * 150, 1.0) < 0.5 ? 0.5 : -0.5) : 0;
            }
            {
                Biquad soft = Biquad::lowPass(2000, 0.7);
                for (double& s : v) s = soft.run(s);
            }
            break;
    }
    return Finish(std::move(v), 0.6);
}
