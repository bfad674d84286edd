// The game's fixed sounds by name: every id is a sound id of the process-wide sound store, -1 until its
// file is loaded. The audio master file's sounds are loaded once and kept for the program's life; world
// and indoor sounds are loaded per race (a restart keeps them).
#pragma once

#include <cstdint>

class CAudioMemoryManager;

inline constexpr const char* kAudioMasterFile = "AUDIO\\qz02Audi.bin";
inline constexpr const char* kIndoorSoundFile = "AUDIO\\indoor.bin";
inline constexpr const char* kDefaultObjectSoundFile = "AUDIO\\defobsnd.bin";
inline constexpr int kWorldSoundSlots = 30;
inline constexpr int kIndoorSounds = 22;

struct EngineSoundIds {
    int32_t idle[2], rev[2], accel[2], accelShort[2], decel[4], sust[8];
};

class CQZSoundIDs {
public:
    // The master file's sounds (sub-files 0-75 and 77-81).
    static void loadSounds(void* file, CAudioMemoryManager& amm);
    // Sub-files 0..count-2 of a world sound file (at most 30) as world sounds 0.. . Sounds already
    // loaded for an earlier world are released first. When the engine's sample table cannot take them
    // and still keep `keepFree` slots (the indoor sounds to come), none is loaded and a line is logged.
    // Returns the number loaded.
    static int loadWorldSounds(void* file, CAudioMemoryManager& amm, int keepFree = 0);
    static void loadIndoorSounds(void* file, CAudioMemoryManager& amm);
    static void clearWorldSounds();
    static int getGlobalIdFromWorldId(int worldId);
    // Every id back to -1 (the program's audio is being shut down; the store is emptied by the caller).
    static void resetAll();

    static EngineSoundIds engine[3];  // 125, 250, 400 cc
    static int32_t countLId, countRId, goLId, goRId;
    static int32_t gruntId[8];
    static int32_t cheerLId[7], cheerRId[7];
    static int32_t announcerId[8];
    static int32_t landingId, collideId, checkpointLId, checkpointRId, holeshotLId, holeshotRId, brakeId,
        powerslideId, bonusId, nitroId, getNitroId, tbonusLId, tbonusRId;
    static int32_t worldToGlobal[kWorldSoundSlots];
    // The store's size after the master file's sounds: world and indoor sounds follow.
    static int32_t fixedSoundCount;
};
