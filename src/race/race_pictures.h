// The common-objects sub-files of the race's start and end screens: count cards, results frame, title
// bar, place icon, bonus pictures, plate and button. The game and the disc writer both name them here.
#pragma once

namespace common {

// Cards 0..4: "1", "2", "3", the go card, the go card of a boosted start.
inline constexpr int kStartCard0 = 134;
inline constexpr int kStartCards = 5;
inline constexpr int kPlaceIcon = 161;
inline constexpr int kBlackPlate = 169;
inline constexpr int kButton = 170;
inline constexpr int kResultsTitleBar = 194;
inline constexpr int kResultsFrame = 195;
inline constexpr int kBonusNotEarned = 196;
inline constexpr int kBonusEarned = 197;

}  // namespace common
