#include "audio/sound_object.h"

#include <cmath>

#include "audio/envelope.h"
#include "audio/envelope_params.h"
#include "audio/sound_factory.h"
#include "audio/sound_reader.h"
#include "audio/sound_storage.h"
#include "audio/sound_view.h"
#include "engine/sys/math.h"
#include "game/model/dynamic_object.h"
#include "game/model/model.h"

std::map<const CModelObject*, CSoundParams> CSoundObject::parmCache;

namespace {

constexpr float kSpeedOfSound = 340.0f;

CModelObject* ObjectById(int id) {
    const CModel* m = CModel::modelPtr;
    if (!m || id < 0 || static_cast<size_t>(id) >= m->objects.size()) return nullptr;
    return m->objects[static_cast<size_t>(id)];
}

float Length(const float v[3]) {
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

// An envelope of the map at x, its default replaced by the output kind's.
float Envelope(CEnvelopeMap& map, int in, int out, float x) {
    CEnvelope& e = map(in, out);
    e.defaultValue = QZEnvelopeParams[out].def;
    return e.value(x);
}

// A listener axis: the direction turned by the listener's orientation, x negated.
_vector3d Axis(const CModelObject& listener, float x, float y, float z) {
    const _vector3d v = {x, y, z};
    _vector3d out;
    Q_TransformVect(&listener.qOrientation, &out, &v);
    out.x = -out.x;
    return out;
}

}  // namespace

float DopplerPitch(const float S[3], const float vS[3], const float L[3], const float vL[3]) {
    const float now[3] = {S[0] - L[0], S[1] - L[1], S[2] - L[2]};
    const float next[3] = {now[0] + vS[0] - vL[0], now[1] + vS[1] - vL[1], now[2] + vS[2] - vL[2]};
    const float source = Length(vS) / kSpeedOfSound, listener = Length(vL) / kSpeedOfSound;
    float pitch;
    if (Length(now) < Length(next))
        pitch = (1.0f - listener) / (1.0f + source);
    else if (source >= 1.0f)
        pitch = 2.0f;  // at or above the speed of sound towards the listener: the cap
    else
        pitch = (1.0f + listener) / (1.0f - source);
    pitch *= 1.05f;
    return std::fmax(0.1f, std::fmin(2.0f, pitch));
}

CSoundObject::CSoundObject(int modelObjectId, int group_, int)
    : CViewObject(modelObjectId, 0), group(group_) {}

void CSoundObject::render(CSoundView* view) {
    _render(view, ObjectById(modelObjectId), ObjectById(view->_cameraID));
}

void CSoundObject::modelObjectRemoved(CSoundView* view) {
    if (modelObjectId == -1) view->removeObject(this);
}

void CSoundObject::update(CSoundView* view, float time) {
    CModelObject* listener = ObjectById(view->_cameraID);
    CModelObject* source = ObjectById(modelObjectId);
    if (modelObjectId == -1) {
        modelObjectRemoved(view);
        return;
    }
    _update(view, source, listener, time);
}

void CSoundObject::_update(CSoundView* view, CModelObject* source, CModelObject* listener, float time) {
    CSoundReader* reader = getCurrentSound(source);
    if (!reader || !(reader->flags & kSoundKindMask)) return;
    CSoundParams& entry = parmCache[source];
    if (!source || entry.timestamp < time) {
        getParams(view, source, listener, entry);
        entry.timestamp = time;
    }
    entry.volumeScale = getVolume();
    if (entry.volume * entry.volumeScale > 0.001f) {
        reader->group = group;
        reader->priority = static_cast<int32_t>(static_cast<float>(priorityMult) * (1.0f - entry.volume));
        if (view->allocateChannel(reader, entry) >= 0) return;
    }
    reader->stop();
}

void CSoundObject::getParams(CSoundView*, CModelObject* source, CModelObject* listener,
                             CSoundParams& params) {
    CEnvelopeMap* map = envelopesEnabled ? CSoundFactory::getDefaultEnvelopes() : nullptr;
    if (!map || !source || !listener) {
        // Envelopes off (or nothing to measure from): heard as if at the listener.
        params.volume = 1.0f;
        params.pan = 0.5f;
        params.fbPan = 0.2f;
        if (filterEnabled) {
            params.loCutoff = 4000.0f;
            params.hiCutoff = 1.0f;
            params.useFilters = 1;
        } else {
            params.useFilters = 0;
        }
        return;
    }
    const qzVector3d& S = source->position;
    const qzVector3d& L = listener->position;
    const _vector3d d = {(S.x - L.x) * 0.01f, (S.y - L.y) * 0.01f, (S.z - L.z) * 0.01f};
    const float r = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    params.volume = Envelope(*map, kEnvInDistance, kEnvOutVolume, r);
    const _vector3d side = Axis(*listener, -1.0f, 0.0f, 0.0f);
    const _vector3d front = Axis(*listener, 0.0f, 0.0f, 1.0f);
    params.pan = Envelope(*map, kEnvInSide, kEnvOutPan, side.x * d.x + side.y * d.y + side.z * d.z);
    params.fbPan =
        Envelope(*map, kEnvInFront, kEnvOutSurroundPan, front.x * d.x + front.y * d.y + front.z * d.z);
    float vS[3] = {0, 0, 0}, vL[3] = {0, 0, 0};
    if (const auto* ds = dynamic_cast<const CDynamicObject*>(source))
        vS[0] = ds->linearVelocity.x, vS[1] = ds->linearVelocity.y, vS[2] = ds->linearVelocity.z;
    if (const auto* dl = dynamic_cast<const CDynamicObject*>(listener))
        vL[0] = dl->linearVelocity.x, vL[1] = dl->linearVelocity.y, vL[2] = dl->linearVelocity.z;
    const float s[3] = {S.x, S.y, S.z}, l[3] = {L.x, L.y, L.z};
    params.pitchMultiplier = DopplerPitch(s, vS, l, vL);
    params.useFilters = 0;
}
