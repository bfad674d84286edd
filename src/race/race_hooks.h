// The hooks of a race: every function pointer through which code below the race (the views, the
// statistics and track bonuses, the bike) or a part of the race built without the rest (the pause menu,
// the countdown, the end screens, the cameras) calls back into the race. The race installs them all here
// once its players' views exist and clears them all here first thing in its teardown, so that nothing
// outside a race reaches a race that is gone.
//
// Not among them: CQzGame::cpuTimeSource, the race's own reading of the processor time, which calls down
// (to the engine's clock by default) and is replaced only by tests that want repeatable runs.
#pragma once

namespace racehooks {

// Installs every hook of the race being built (its players' views are made).
void Install();
// Clears every hook Install sets.
void Clear();

}  // namespace racehooks
