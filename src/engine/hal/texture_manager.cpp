#include "engine/hal/texture_manager.h"

#include "engine/hal/display_hw.h"
#include "engine/hal/draw_env.h"

uint32_t veTextureFrame = 0;

void veTextureInitTextureManager() {
    veTextureFrame = 0;
    veDrawEnvStartFrame(0);
}

void veTextureResetTextureManager() {
    veTextureFrame += 1;
    veDrawEnvStartFrame(static_cast<int>(veTextureFrame & 1));
    veSetDefaultDrawEnv1();
    veSetDefaultDrawEnv2();
    veDisplayResetClearBuffers();
}
