// Checks that make file data safe to animate with. Skeletons come from geometry files and animation
// blocks from motion files; both are input. A block or skeleton that fails is reported on the console
// with one line saying why and must not be used; the decoders and pose functions trust what passed.
#pragma once

#include <cstdint>

#include "console/mem/format_check.h"

#include "engine/anim/anim_format.h"
#include "engine/anim/skeleton.h"

// Passes when the skeleton has 1..40 bones, every parent precedes its child and every mirror twin is a
// bone of the skeleton; refused with a log line otherwise (the reason after "veAnimCheckSkeleton: ").
FormatCheck CheckSkeleton(const _skeleton* skel);
// The same answer as 0 (usable) or -1 (refused).
int veAnimCheckSkeleton(const _skeleton* skel);

// Passes when the `size` bytes at `anim` are a block of a known encoding that can be sampled for this
// (valid) skeleton at any time without reading outside the block: counts, offsets, key counts, frame
// counts, routed bones and time order are tested. Refused with a log line otherwise (the reason after
// "veAnimCheckAnimation: ", or the skeleton's).
FormatCheck CheckAnimation(const _animation* anim, uint32_t size, const _skeleton* skel);
// The same answer as 0 (usable) or -1 (refused).
int veAnimCheckAnimation(const _animation* anim, uint32_t size, const _skeleton* skel);
