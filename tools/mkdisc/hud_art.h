// The race HUD's pictures: speedometer dial with its preload, nitro and stunt-advantage overlays, the
// stat boxes, the radar bracket, the map arrow and the checkpoint blip frames. Each is drawn at twice
// its on-screen size and resampled to the power-of-two texture the console takes.
#pragma once

#include <cstdint>
#include <vector>

#include "mkdisc/frontend_art.h"

// The picture of HUD sub-file `subFile` at its texture size.
Canvas HudArtCanvas(int subFile);
// The graphics file of HUD sub-file `subFile`; empty for a sub-file not drawn here.
std::vector<uint8_t> HudArtFile(int subFile);
// The baja guide arrow's geometry block (pointing along -y, flat in x-y, its top towards +z).
std::vector<uint8_t> GuideArrowGeometry();
