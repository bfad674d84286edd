// The race's start and results pictures: the count cards "3", "2", "1", the go card and the boosted go
// card, the results frame and its title bar, the player's place marker, the bonus medals (missed and
// earned), the black plate and the menu button. Drawn on a canvas and stored as 8-bit palettised
// graphics files.
#pragma once

#include <cstdint>
#include <vector>

#include "mkdisc/frontend_art.h"

// True for the common-objects sub-files drawn here.
bool IsRaceArt(int subFile);
// The picture of sub-file `subFile` as drawn (what the graphics file holds, before palettising).
Canvas RaceArtCanvas(int subFile);
// The graphics file of sub-file `subFile`; empty for a sub-file not drawn here.
std::vector<uint8_t> RaceArtFile(int subFile);
// `c` as an 8-bit palettised image: colours merged by dropping low bits until 256 remain.
BitmapImage Palettised(const Canvas& c, const std::string& name);
