// The ten teams' colours. Rider model k and bike model k wear team k's: the race's jersey, helmet and
// plastics textures and the front end's rider portraits and bike pictures all paint from this table, so
// the rider a player picks looks the same on the screens and in the race.
#pragma once

#include <cstdint>

// Base and trim colour of each team as texels (RGBA, red in the low byte).
inline constexpr uint32_t kTeamBase[10] = {0x80F07020u, 0x802020E0u, 0x8020C020u, 0x8010C0F0u, 0x80F0F0F0u,
                                           0x800070F0u, 0x80C020C0u, 0x80202020u, 0x80F0C040u, 0x8000A0A0u};
inline constexpr uint32_t kTeamTrim[10] = {0x80F0F0F0u, 0x80F0F0F0u, 0x80202020u, 0x80202020u, 0x80F02020u,
                                           0x80202020u, 0x80F0F0F0u, 0x8010C0F0u, 0x80F0F0F0u, 0x80F0F0F0u};
