#include "mkdisc/music.h"

#include <algorithm>
#include <cmath>

#include "console/iop/music_stream_format.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kBlock = 28;

// A stereo loop of `frames` samples; anything written past the end lands at the start.
struct Loop {
    explicit Loop(size_t frames) : l(frames), r(frames) {}
    void add(size_t at, double v, double pan) {  // pan -1 left .. 1 right
        const size_t i = at % l.size();
        l[i] += v * std::sqrt(0.5 * (1 - pan));
        r[i] += v * std::sqrt(0.5 * (1 + pan));
    }
    std::vector<double> l, r;
};

struct Rng {
    uint32_t x;
    double next() {  // -1 .. 1
        x = x * 1664525u + 1013904223u;
        return static_cast<int32_t>(x) / 2147483648.0;
    }
};

double Hz(int midi) {
    return 440.0 * std::pow(2.0, (midi - 69) / 12.0);
}

// Oscillators with their steps smoothed (polynomial band-limited steps), so they do not alias.
double Blep(double t, double dt) {
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1;
    }
    if (t > 1 - dt) {
        t = (t - 1) / dt;
        return t * t + t + t + 1;
    }
    return 0;
}
double Saw(double phase, double dt) {
    const double t = phase - std::floor(phase);
    return 0.5 * (2 * t - 1 - Blep(t, dt));
}
double Square(double phase, double dt) {
    const double t = phase - std::floor(phase);
    const double u = t + 0.5 - std::floor(t + 0.5);
    return 0.5 * ((t < 0.5 ? 1 : -1) + Blep(t, dt) - Blep(u, dt));
}

void Kick(Loop& out, size_t at, double gain) {
    double phase = 0;
    const int n = static_cast<int>(kMusicRate * 0.35);
    for (int i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / kMusicRate;
        phase += (45 + 90 * std::exp(-t * 30)) / kMusicRate;
        out.add(at + i, gain * std::sin(2 * kPi * phase) * std::exp(-t * 9), 0);
    }
}

void Snare(Loop& out, size_t at, double gain, Rng& rng) {
    const int n = static_cast<int>(kMusicRate * 0.22);
    double lp = 0;
    for (int i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / kMusicRate;
        const double noise = rng.next();
        lp += 0.45 * (noise - lp);
        const double body = std::sin(2 * kPi * 185 * t) * std::exp(-t * 30);
        out.add(at + i, gain * ((noise - lp) * 0.8 * std::exp(-t * 16) + 0.6 * body), 0.1);
    }
}

void Hat(Loop& out, size_t at, double gain, double decay, Rng& rng) {
    const int n = static_cast<int>(kMusicRate * 0.12);
    double prev = 0;
    for (int i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / kMusicRate;
        const double noise = rng.next();
        out.add(at + i, gain * (noise - prev) * 0.5 * std::exp(-t * decay), 0.35);
        prev = noise;
    }
}

// A plucked, low-passed saw: the bass.
void Bass(Loop& out, size_t at, size_t len, int midi, double gain) {
    const double f = Hz(midi);
    double lp = 0;
    for (size_t i = 0; i < len; ++i) {
        const double t = static_cast<double>(i) / kMusicRate;
        const double cutoff = 0.05 + 0.25 * std::exp(-t * 12);
        lp += cutoff * (Saw(f * t, f / kMusicRate) - lp);
        const double release = std::min(1.0, static_cast<double>(len - i) / 200.0);
        out.add(at + i, gain * lp * std::exp(-t * 2.5) * release, 0);
    }
}

// A distorted power chord (root, fifth, octave), doubled left and right with a little detune.
void Guitar(Loop& out, size_t at, size_t len, int midi, double gain, bool muted) {
    const double decay = std::exp(-(muted ? 14.0 : 0.8) / kMusicRate);
    for (int side = -1; side <= 1; side += 2) {
        double f[3], phase[3];
        for (int k = 0; k < 3; ++k) {
            f[k] = Hz(midi + (k == 0 ? 0 : k == 1 ? 7 : 12)) * (1.0 + 0.002 * side) / kMusicRate;
            phase[k] = 0.13 * side;
        }
        double lp = 0, env = 1;
        for (size_t i = 0; i < len; ++i) {
            double v = 0;
            for (int k = 0; k < 3; ++k) {
                v += Saw(phase[k], f[k]);
                phase[k] += f[k];
            }
            const double release = std::min(1.0, static_cast<double>(len - i) / 300.0);
            const double x = 2.5 * v;
            lp += 0.35 * (x / (1 + std::abs(x)) - lp);  // soft clipping
            out.add(at + i, gain * lp * env * release, 0.7 * side);
            env *= decay;
        }
    }
}

// A square-ish synth note with a short attack.
void Lead(Loop& out, size_t at, size_t len, int midi, double gain, double pan) {
    const double f = Hz(midi);
    for (size_t i = 0; i < len; ++i) {
        const double t = static_cast<double>(i) / kMusicRate;
        const double v = Square(f * t, f / kMusicRate);
        const double env = std::min(1.0, t * 400) * std::exp(-t * 6) * std::min(1.0, (len - i) / 120.0);
        out.add(at + i, gain * v * env, pan);
    }
}

// Chord roots of a four-bar progression, in semitones above the tonic.
const int kMinorProgressions[3][4] = {{0, 8, 3, 10}, {0, 5, 10, 3}, {0, 10, 8, 7}};
const int kMajorProgressions[3][4] = {{0, 7, 9, 5}, {0, 5, 7, 5}, {0, 9, 5, 7}};

// Brings a piece to the music's common loudness, kMusicRms of full scale, with no sample above
// kMusicCeiling: the drums' hits would otherwise set the level, leaving the rest 17 dB under the peak. A
// look-ahead limiter: the gain each sample needs to stay under the ceiling, met kAttack samples ahead of
// the sample by a straight ramp and let go of at the release rate afterwards. Worked out around the loop
// twice, so the gain at the end runs on into the start and the loop stays seamless.
// The limiter's gain for every sample of `out` scaled by `gain`.
std::vector<double> LimiterGain(const Loop& out, double gain) {
    const size_t n = out.l.size();
    std::vector<double> g(n);
    for (size_t i = 0; i < n; ++i) {
        const double v = gain * std::max(std::abs(out.l[i]), std::abs(out.r[i]));
        g[i] = v > kMusicCeiling ? kMusicCeiling / v : 1.0;
    }
    constexpr double kAttack = 0.002 * kMusicRate, kRelease = 0.08 * kMusicRate;
    for (size_t k = 2 * n; k-- > 0;) {  // ramps down ahead of each peak
        const size_t i = k % n, next = (k + 1) % n;
        g[i] = std::min(g[i], g[next] + 1.0 / kAttack);
    }
    for (size_t k = 1; k < 2 * n; ++k) {  // recovers slowly after it
        const size_t i = k % n, prev = (k - 1) % n;
        g[i] = std::min(g[i], g[prev] + 1.0 / kRelease);
    }
    return g;
}

void Level(Loop& out) {
    const size_t n = out.l.size();
    auto rms = [&](double gain, const std::vector<double>* g) {
        double sum = 0;
        for (size_t i = 0; i < n; ++i) {
            const double k = gain * (g ? (*g)[i] : 1.0);
            sum += 0.5 * k * k * (out.l[i] * out.l[i] + out.r[i] * out.r[i]);
        }
        return std::sqrt(std::max(sum / double(n), 1e-18));
    };
    // The limiter takes some loudness back: the gain is raised by what it took, a few times over.
    double gain = kMusicRms / rms(1.0, nullptr);
    std::vector<double> g = LimiterGain(out, gain);
    for (int pass = 0; pass < 4; ++pass) {
        gain *= kMusicRms / rms(gain, &g);
        g = LimiterGain(out, gain);
    }
    for (size_t i = 0; i < n; ++i) {
        out.l[i] *= gain * g[i];
        out.r[i] *= gain * g[i];
    }
}

}  // namespace

const std::vector<MusicPiece>& MusicPieces() {
    static const std::vector<MusicPiece> pieces = {
        {"AUDIO/MENUTUNE.STM", 40, true, 128, 16, false, 11},
        {"AUDIO/TITLE.STM", 45, true, 100, 12, true, 12},
        {"AUDIO/CREDITS.STM", 38, false, 112, 14, false, 13},
        {"AUDIO/HOLESHOT.STM", 40, false, 150, 20, false, 21},
        {"AUDIO/BERMS.STM", 43, false, 140, 16, true, 22},
        {"AUDIO/WHOOPS.STM", 45, false, 160, 20, false, 23},
        {"AUDIO/TABLETOP.STM", 36, true, 124, 16, true, 24},
        {"AUDIO/ROOSTER.STM", 42, true, 136, 16, false, 25},
        {"AUDIO/TRIPLES.STM", 47, true, 145, 20, true, 26},
        {"AUDIO/SCRUB.STM", 38, true, 132, 16, false, 27},
        {"AUDIO/REDLINE.STM", 37, true, 170, 24, false, 28},
        {"AUDIO/MUDRUN.STM", 41, true, 118, 14, true, 29},
    };
    return pieces;
}

void RenderMusic(const MusicPiece& p, std::vector<int16_t>& left, std::vector<int16_t>& right) {
    const double seconds = p.bars * 4 * 60.0 / p.bpm;
    const size_t frames = static_cast<size_t>(std::lround(seconds * kMusicRate / kBlock)) * kBlock;
    const double beat = static_cast<double>(frames) / (p.bars * 4);  // samples per beat (tempo trimmed)
    Loop out(frames);
    Rng rng{p.seed * 2654435761u + 1};
    const int(&prog)[4] = (p.minor ? kMinorProgressions : kMajorProgressions)[p.seed % 3];
    const int scale[7] = {0, 2, p.minor ? 3 : 4, 5, 7, p.minor ? 8 : 9, p.minor ? 10 : 11};
    auto at = [&](double beats) { return static_cast<size_t>(std::lround(beats * beat)); };
    for (int bar = 0; bar < p.bars; ++bar) {
        const int root = p.key + prog[bar % 4];
        const bool intro = bar < 2;
        const bool lastBar = bar == p.bars - 1;
        for (int b = 0; b < 4; ++b) {
            const double t = bar * 4 + b;
            if (p.electronic || b % 2 == 0) Kick(out, at(t), 0.9);
            if (!p.electronic && b == 3 && bar % 2 == 1) Kick(out, at(t + 0.5), 0.7);
            if (b % 2 == 1 && !intro) Snare(out, at(t), 0.55, rng);
            for (int e = 0; e < 2; ++e)
                Hat(out, at(t + 0.5 * e), e ? 0.22 : 0.15, p.electronic && e ? 18 : 45, rng);
        }
        if (lastBar)  // a fill leading back into the first bar
            for (int s = 0; s < 4; ++s) Snare(out, at(bar * 4 + 3 + 0.25 * s), 0.3 + 0.1 * s, rng);
        for (int e = 0; e < 8; ++e) {
            const double t = bar * 4 + 0.5 * e;
            const int note = root - 12 + ((e == 6 && bar % 2) ? 7 : 0);
            Bass(out, at(t), at(0.45), note, 0.5);
        }
        if (intro) continue;
        if (!p.electronic) {
            // Palm-muted eighths, with a ringing chord on the last two beats of every other bar.
            for (int e = 0; e < 8; ++e) {
                const bool ring = bar % 2 == 1 && e >= 4;
                if (ring && e > 4) continue;
                Guitar(out, at(bar * 4 + 0.5 * e), at(ring ? 2.0 : 0.45), root, ring ? 0.16 : 0.2, !ring);
            }
            if (bar >= 4 && bar % 4 >= 2)  // a simple lead line over the second half of the phrase
                for (int q = 0; q < 4; ++q) {
                    const int degree = static_cast<int>((rng.next() + 1) * 3.5) % 7;
                    Lead(out, at(bar * 4 + q), at(0.9), p.key + 12 + scale[degree], 0.12, -0.3);
                }
        } else {
            // A sixteenth-note arpeggio over the chord, and pad stabs on the off-beats.
            const int chord[4] = {0, p.minor ? 3 : 4, 7, 12};
            for (int s = 0; s < 16; ++s)
                Lead(out, at(bar * 4 + 0.25 * s), at(0.22), root + 12 + chord[(s * 3 + bar) % 4], 0.13,
                     s % 2 ? 0.5 : -0.5);
            for (int b = 0; b < 4; ++b)
                for (int c = 0; c < 3; ++c)
                    Lead(out, at(bar * 4 + b + 0.5), at(0.4), root + chord[c], 0.06, 0.0);
        }
    }
    Level(out);
    left.resize(frames);
    right.resize(frames);
    for (size_t i = 0; i < frames; ++i) {
        left[i] = static_cast<int16_t>(std::lround(out.l[i] * 32767));
        right[i] = static_cast<int16_t>(std::lround(out.r[i] * 32767));
    }
}

std::vector<uint8_t> MusicStreamFile(const MusicPiece& piece) {
    std::vector<int16_t> l, r;
    RenderMusic(piece, l, r);
    return stm::Write({l, r}, kMusicRate);
}
