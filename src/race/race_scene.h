// The race's scene effects: the trackside camera (its records from the world file, aimed at a player
// who finishes), the particle system with its view in every human's view, and each racer's shadow.
#pragma once

class C3DView;
class CQzGame;
struct WorldLayout;

namespace racescene {

// The trackside camera from the camera records of the loaded world (none: it only pans).
void LoadTrackCamera(CQzGame& race, const WorldLayout& layout);
// The particle system for the bikes' emitters and its view in every human's view.
void MakeParticles(CQzGame& race);
// Racer i's shadow in every human's view.
void MakeShadow(CQzGame& race, unsigned int racer);
// The sky on model object `objectId` (description `descriptionId`) in `view`: drawn first, around the
// eye of the view's camera, and under everything drawn after it.
void AddSky(C3DView* view, int objectId, int descriptionId);

}  // namespace racescene
