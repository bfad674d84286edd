// Piecewise-linear curves from one measured quantity of a sound source (distance, offset, impact speed)
// to one playing parameter, and the map that holds them by (input kind, output kind). The file layout
// is in envelope_map_format.h.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

class CEnvelope {
public:
    CEnvelope() = default;
    virtual ~CEnvelope() = default;

    // Reads default, point count and points at `cursor` (at most up to `end`), keeping the points in
    // ascending x (equal x in the order read), and moves the cursor past them. False, with the
    // envelope left empty, when the record runs past `end`.
    bool load(const uint8_t*& cursor, const uint8_t* end);
    // The curve at x: the default without points; else linear from (0, default) through the points;
    // the last point's y beyond the last point; at a repeated x the later point's y.
    float value(float x) const;

    std::vector<std::pair<float, float>> values;
    float defaultValue = 0.0f;
};

class CEnvelopeMap {
public:
    CEnvelopeMap() = default;
    virtual ~CEnvelopeMap();
    CEnvelopeMap(const CEnvelopeMap&) = delete;
    CEnvelopeMap& operator=(const CEnvelopeMap&) = delete;

    // Loads a whole map file image of `length` bytes. The image is checked first; a bad one logs the
    // reason and leaves the map empty (false). A repeated (input, output) pair replaces the earlier
    // envelope, which is deleted.
    bool load(const void* image, uint32_t length);
    // The envelope for the pair, created empty when missing.
    CEnvelope& operator()(int inputKind, int outputKind);
    // The envelope for the pair, or null.
    const CEnvelope* find(int inputKind, int outputKind) const;
    void clear();

    std::map<int, std::map<int, std::unique_ptr<CEnvelope>>> data;
};
