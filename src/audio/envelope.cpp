#include "audio/envelope.h"

#include <cstring>
#include <memory>
#include <utility>

#include "audio/envelope_map_format.h"
#include "engine/sys/files.h"
#include "engine/sys/loaded_files.h"

namespace {

bool Read32(const uint8_t*& cursor, const uint8_t* end, void* out) {
    if (end - cursor < 4) return false;
    std::memcpy(out, cursor, 4);
    cursor += 4;
    return true;
}

}  // namespace

bool CEnvelope::load(const uint8_t*& cursor, const uint8_t* end) {
    values.clear();
    uint32_t count = 0;
    if (!Read32(cursor, end, &defaultValue) || !Read32(cursor, end, &count)) return false;
    if (count > static_cast<uint64_t>(end - cursor) / envmap::kPointBytes) return false;
    values.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        std::pair<float, float> p;
        Read32(cursor, end, &p.first);
        Read32(cursor, end, &p.second);
        // Before the first stored point with a greater x: ascending, equal x in the order read.
        auto at = values.begin();
        while (at != values.end() && !(at->first > p.first)) ++at;
        values.insert(at, p);
    }
    return true;
}

float CEnvelope::value(float x) const {
    if (values.empty()) return defaultValue;
    float px = 0.0f, py = defaultValue;
    for (const auto& [vx, vy] : values) {
        if (vx > x) {
            if (px == vx) return vy;
            return py + (vy - py) * (x - px) / (vx - px);
        }
        px = vx;
        py = vy;
    }
    return values.back().second;
}

CEnvelopeMap::~CEnvelopeMap() {
    clear();
}

void CEnvelopeMap::clear() {
    for (auto& [in, outs] : data)
        for (auto& [out, env] : outs) env.reset();  // the envelopes, then the map's nodes
    data.clear();
}

bool CEnvelopeMap::load(const void* image, uint32_t length) {
    clear();
    const envmap::Check check = envmap::Validate(image, length);
    if (!check.ok) {
        x_printf("%sCEnvelopeMap: bad envelope map: %s\n", x_FileOf(image), check.why);
        return false;
    }
    const uint8_t* cursor = static_cast<const uint8_t*>(image);
    const uint8_t* end = cursor + check.bytes;
    uint32_t inputs = 0;
    Read32(cursor, end, &inputs);
    for (uint32_t i = 0; i < inputs; ++i) {
        int32_t inKind = 0;
        uint32_t outputs = 0;
        Read32(cursor, end, &inKind);
        Read32(cursor, end, &outputs);
        for (uint32_t e = 0; e < outputs; ++e) {
            int32_t outKind = 0;
            Read32(cursor, end, &outKind);
            auto env = std::make_unique<CEnvelope>();
            env->load(cursor, end);
            data[inKind][outKind] = std::move(env);  // a repeated pair replaces the earlier envelope
        }
    }
    return true;
}

CEnvelope& CEnvelopeMap::operator()(int inputKind, int outputKind) {
    std::unique_ptr<CEnvelope>& slot = data[inputKind][outputKind];
    if (!slot) slot = std::make_unique<CEnvelope>();
    return *slot;
}

const CEnvelope* CEnvelopeMap::find(int inputKind, int outputKind) const {
    const auto in = data.find(inputKind);
    if (in == data.end()) return nullptr;
    const auto out = in->second.find(outputKind);
    return out == in->second.end() ? nullptr : out->second.get();
}
