#include "race/control/bike_controller.h"

#include <cstring>

#include "bike/kinetic_bike.h"
#include "game/model/model.h"

namespace {

constexpr uint32_t kStuntButtons = CONTROL_STUNT_A | CONTROL_STUNT_B;

// The bike named by `id`, or null when the model has no bike there.
KineticBike* BikeById(int id) {
    CModel* model = CModel::modelPtr;
    if (!model || id < 0 || static_cast<size_t>(id) >= model->objects.size()) return nullptr;
    return dynamic_cast<KineticBike*>(model->objects[static_cast<size_t>(id)]);
}

}  // namespace

CBikeController::CBikeController()
    : bikeID(-1),
      analogControl{},
      oldAnalogControl{},
      controlFlags(0),
      oldControlFlags(0),
      oldBikePacket(0),
      lastDir(DIR_NEUTRAL),
      stuntDelay(15) {}

void CBikeController::DtoA(const unsigned char* amounts) {
    static constexpr struct {
        uint32_t flag;
        int byte;
    } kPairs[] = {{CONTROL_UP, AMOUNT_UP},       {CONTROL_DOWN, AMOUNT_DOWN},   {CONTROL_LEFT, AMOUNT_LEFT},
                  {CONTROL_RIGHT, AMOUNT_RIGHT}, {CONTROL_ACCEL, AMOUNT_ACCEL}, {CONTROL_BRAKE, AMOUNT_BRAKE},
                  {CONTROL_NITRO, AMOUNT_NITRO}, {CONTROL_VIEW, AMOUNT_VIEW}};
    for (const auto& p : kPairs) {
        const uint8_t a = amounts ? amounts[p.byte] : 0;
        analogControl[p.byte] = (controlFlags & p.flag) ? (a ? a : 255) : 0;
    }
}

void CBikeController::fillPackets(std::vector<CPacket>& packets) {
    if (bikeID < 0) return;
    const KineticBike* bike = BikeById(bikeID);
    if (!bike) return;
    const bool inAir = bike->getDistToGround() >= kAirDistance;
    const uint32_t f = controlFlags;
    CStuntMgr* stunts = CStuntMgr::theStuntMgr;

    uint32_t action = 0;
    if (f & CONTROL_BRAKE) action |= BikeActionBit(BIKEACTION_BRAKE);
    if (f & CONTROL_ACCEL) action |= BikeActionBit(BIKEACTION_ACCEL);
    if (f & CONTROL_PRELOAD) action |= BikeActionBit(BIKEACTION_PRELOAD);
    if (f & CONTROL_NITRO) action |= BikeActionBit(BIKEACTION_NITRO);

    bool directions = true;
    if (!inAir) {
        if (f & CONTROL_STUNT_A) {
            if (f & CONTROL_BRAKE)
                action |= BikeActionBit(BIKEACTION_STOPPIE);
            else if (f & CONTROL_ACCEL)
                action |= BikeActionBit(BIKEACTION_WHEELIE);
        }
        if (stunts) stunts->reset(bikeID);
        lastDir = DIR_NEUTRAL;
    } else if (f & kStuntButtons) {
        const stuntName name = getStuntName();
        if (name != STUNT_INVALID) {
            analogControl[AMOUNT_STUNT] = static_cast<uint8_t>(name);
            analogControl[AMOUNT_STUNT_REVERSED] =
                static_cast<uint8_t>(stunts ? stunts->isReversed(bikeID) : 0);
            action |= BikeActionBit(BIKEACTION_STUNT);
            lastDir = DIR_NEUTRAL;
        }
        directions = false;
    } else if (oldControlFlags & kStuntButtons) {
        if (stunts) {
            const stuntName name = stunts->getStunt(bikeID, 1, 15);
            const int rev = stunts->isReversed(bikeID);
            stunts->reset(bikeID);
            if (name != STUNT_INVALID) {
                analogControl[AMOUNT_STUNT] = static_cast<uint8_t>(name);
                analogControl[AMOUNT_STUNT_REVERSED] = static_cast<uint8_t>(rev);
                action |= BikeActionBit(BIKEACTION_STUNT);
            }
        }
        lastDir = DIR_NEUTRAL;
        directions = false;
    } else {
        if (f & CONTROL_DOWN)
            action |= BikeActionBit(BIKEACTION_BACK);
        else if (f & CONTROL_UP)
            action |= BikeActionBit(BIKEACTION_FORWARD);
        if (f & CONTROL_WHIP) action |= BikeActionBit(BIKEACTION_WHIP);
    }

    if (directions) {
        const bool brake = f & CONTROL_BRAKE, accel = f & CONTROL_ACCEL, whip = f & CONTROL_WHIP;
        const bool left = f & CONTROL_LEFT;
        if (left || (f & CONTROL_RIGHT)) {
            bikeActions a;
            if (whip && brake && accel)
                a = left ? BIKEACTION_LEFT_POWERSLIDE_ACCEL_BRAKE : BIKEACTION_RIGHT_POWERSLIDE_ACCEL_BRAKE;
            else if (whip && brake)
                a = left ? BIKEACTION_LEFT_POWERSLIDE_BRAKE : BIKEACTION_RIGHT_POWERSLIDE_BRAKE;
            else if (whip && accel)
                a = left ? BIKEACTION_LEFT_POWERSLIDE_ACCEL : BIKEACTION_RIGHT_POWERSLIDE_ACCEL;
            else
                a = left ? BIKEACTION_LEFT_TURN : BIKEACTION_RIGHT_TURN;
            action |= BikeActionBit(a);
        }
    }

    if (action != oldBikePacket || std::memcmp(analogControl, oldAnalogControl, sizeof analogControl) != 0)
        packets.emplace_back(bikeID, PKT_ACTION, static_cast<int>(action), analogControl);
    oldControlFlags = controlFlags;
    oldBikePacket = action;
    std::memcpy(oldAnalogControl, analogControl, sizeof analogControl);
}

stuntName CBikeController::getStuntName() {
    CStuntMgr* stunts = CStuntMgr::theStuntMgr;
    const bool a = controlFlags & CONTROL_STUNT_A, b = controlFlags & CONTROL_STUNT_B;
    if (!stunts || !(a || b)) return STUNT_INVALID;
    stunts->setStuntType(bikeID, a && b ? STUNT_TYPE_BOTH : a ? STUNT_TYPE_A : STUNT_TYPE_B);

    static constexpr struct {
        int byte;
        stuntDir dir;
    } kPresses[] = {
        {AMOUNT_UP, DIR_UP}, {AMOUNT_DOWN, DIR_DOWN}, {AMOUNT_RIGHT, DIR_RIGHT}, {AMOUNT_LEFT, DIR_LEFT}};
    bool crossed = false;
    for (const auto& p : kPresses) {
        if (analogControl[p.byte] < kStuntPress || oldAnalogControl[p.byte] >= kStuntPress) continue;
        crossed = true;
        if (lastDir != static_cast<uint32_t>(p.dir)) {
            const stuntName name = stunts->addButtonPress(bikeID, p.dir);
            lastDir = p.dir;
            if (name != STUNT_INVALID) return name;
        }
        break;
    }
    if (!crossed) {
        bool centred = true;
        for (const auto& p : kPresses) centred = centred && analogControl[p.byte] < kStuntRearm;
        if (centred) lastDir = DIR_NEUTRAL;
    }
    return stunts->getStunt(bikeID, 0, stuntDelay);
}
