#include "audio/envelope_map_format.h"

#include <cmath>
#include <cstring>

namespace envmap {

namespace {

class Cursor {
public:
    Cursor(const uint8_t* p, uint32_t length) : p_(p), left_(length) {}
    bool u32(uint32_t* v) {
        if (left_ < 4) return false;
        std::memcpy(v, p_, 4);
        p_ += 4;
        left_ -= 4;
        return true;
    }
    bool f32(float* v) {
        uint32_t bits;
        if (!u32(&bits)) return false;
        std::memcpy(v, &bits, 4);
        return true;
    }
    uint32_t left() const { return left_; }

private:
    const uint8_t* p_;
    uint32_t left_;
};

Check Fail(const char* why) {
    Check c;
    c.SetFail("%s", why);
    return c;
}

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void PutF32(std::vector<uint8_t>& out, float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    PutU32(out, v);
}

}  // namespace

Check Validate(const void* image, uint32_t length) {
    if (!image) return Fail("no image");
    Cursor c(static_cast<const uint8_t*>(image), length);
    uint32_t inputs;
    if (!c.u32(&inputs)) return Fail("no input count");
    if (inputs > c.left() / kBlockHeaderBytes) return Fail("input count runs past the end");
    for (uint32_t i = 0; i < inputs; ++i) {
        uint32_t kind, outputs;
        if (!c.u32(&kind) || !c.u32(&outputs)) return Fail("block header runs past the end");
        if (outputs > c.left() / kEnvelopeHeaderBytes) return Fail("output count runs past the end");
        for (uint32_t e = 0; e < outputs; ++e) {
            uint32_t outKind, points;
            float def;
            if (!c.u32(&outKind) || !c.f32(&def) || !c.u32(&points))
                return Fail("envelope header runs past the end");
            if (!std::isfinite(def)) return Fail("default is not a finite number");
            if (points > c.left() / kPointBytes) return Fail("point count runs past the end");
            for (uint32_t k = 0; k < points; ++k) {
                float x, y;
                c.f32(&x);
                c.f32(&y);
                if (!std::isfinite(x) || !std::isfinite(y)) return Fail("point is not a finite number");
            }
        }
    }
    Check good;
    good.bytes = length - c.left();
    return good;
}

std::vector<uint8_t> Write(const std::vector<InputBlock>& blocks) {
    std::vector<uint8_t> out;
    PutU32(out, static_cast<uint32_t>(blocks.size()));
    for (const InputBlock& b : blocks) {
        PutU32(out, static_cast<uint32_t>(b.inputKind));
        PutU32(out, static_cast<uint32_t>(b.envelopes.size()));
        for (const Envelope& e : b.envelopes) {
            PutU32(out, static_cast<uint32_t>(e.outputKind));
            PutF32(out, e.defaultValue);
            PutU32(out, static_cast<uint32_t>(e.points.size()));
            for (const Point& p : e.points) {
                PutF32(out, p.x);
                PutF32(out, p.y);
            }
        }
    }
    return out;
}

}  // namespace envmap
