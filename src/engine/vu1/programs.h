// The engine's VU microprograms. The engine uploads each program as a VIF MPG transfer whose payload
// carries no machine code, only the program's id in its first 32-bit word; the VU stand-in
// (console/vu/microprogram.h) runs the C++ object registered under that id. The engine registers its
// programs when it starts (RegisterEnginePrograms); the console knows none of them.
//
// Program ids (the first word of an MPG payload):
//   0x0001-0x00FF  unskinned geometry families (pre-lit, lit, cull, clip, RGBA scale/overwrite)
//   0x0100         immediate-mode primitives
//   0x0200-0x02FF  skinned and instanced geometry
//   0x0300-0x03FF  terrain (engine/vu1/terrain_programs.h)
//   0x0400-0x04FF  VU0 programs (skin deformation)
//
// VU1 data memory as the engine's packets use it: 0-11 the primitive program's three matrices, 0-19 the
// unskinned view record, 0-59 the skinned one; TOPS (60 unless a BASE code moves it) is where each
// program's input packet starts; instanced geometry is unpacked to fixed addresses from 0x20A.
#pragma once

#include <cstdint>

#include "console/gif/gif_tag.h"
#include "console/vu/microprogram.h"

namespace engine::vu1 {

namespace gif = console::gif;
using console::vu::KickPath1;
using console::vu::Microprogram;
using console::vu::VuMemory;
using console::vu::VuState;

inline constexpr uint32_t kProgPrimitive = 0x0100;

// Terrain program slots.
inline constexpr uint32_t kProgTerrainStitching0 = 0x0301;
inline constexpr uint32_t kProgTerrainLod0ClipNew = 0x0302;
inline constexpr uint32_t kProgTerrainLod0New = 0x0303;
inline constexpr uint32_t kProgTerrainLod1New = 0x0304;
inline constexpr uint32_t kProgTerrainLod1CullNew = 0x0305;
inline constexpr uint32_t kProgTerrainLod1ClipNew = 0x0306;
inline constexpr uint32_t kProgTerrainLod1Clip = 0x0307;
inline constexpr uint32_t kProgTerrainLod1ClipMultiTexture = 0x0308;
inline constexpr uint32_t kProgTerrainStitchingCull = 0x0309;
inline constexpr uint32_t kProgTerrainStitchingMultiTexture = 0x030A;

// Registers every engine program with the VU stand-in (idempotent; the engine calls it at start-up and
// before drawing, so tests that draw without starting the engine find the programs too).
void RegisterEnginePrograms();

}  // namespace engine::vu1
