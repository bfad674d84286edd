#include "mkdisc/disc_writer.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <string>

#include "audio/sound_tuning_format.h"
#include "console/cd/cd.h"
#include "engine/anim/anim_check.h"
#include "engine/font/font.h"
#include "engine/hal/geometry.h"
#include "engine/sys/bitmap.h"
#include "engine/sys/files.h"
#include "engine/sys/heap.h"
#include "game/files/collision_data.h"
#include "game/files/common_objects.h"
#include "game/files/file_manager.h"
#include "mkdisc/models.h"
#include "mkdisc/motions.h"
#include "support/temp_dir.h"

namespace {

TEST(SampleDisc, HoldsTheBootFilesAndAValidCommonObjectsFile) {
    // The disc the build wrote with this same writer.
    ASSERT_TRUE(console::CdMount(QZ_DISC_DIR));
    x_InitSTDIO();
    PS2CD_ResetFiles();
    sceCdlFILE entry;
    for (const char* name :
         {"\\SYSTEM\\IOPRP22.IMG;1", "\\SYSTEM\\SIO2MAN.IRX", "\\SYSTEM\\MTAPMAN.IRX", "\\SYSTEM\\PADMAN.IRX",
          "\\SYSTEM\\MCMAN.IRX", "\\SYSTEM\\MCSERV.IRX", "\\SYSTEM\\LIBSD.IRX", "\\SYSTEM\\SDRDRV.IRX",
          "\\SYSTEM\\BRNX_AMM.IRX", "\\AUDIO\\SOUND.TXT"})
        EXPECT_EQ(sceCdSearchFile(&entry, name), 1) << name;
    CFileManager fm;
    void* common = fm.loadFile(common::kFile);
    ASSERT_NE(common, nullptr);
    EXPECT_EQ(fm.getSubFileCount(common), common::kSubFiles);
    // Every sub-file passes its reader's check where the game loads it (in place); motions fit the
    // skeleton they were made for.
    std::vector<_bone> riderBones = RiderSkeletonBones(), bikeBones = BikeSkeletonBones();
    const _skeleton rider{static_cast<uint32_t>(riderBones.size()), riderBones.data()};
    const _skeleton bike{static_cast<uint32_t>(bikeBones.size()), bikeBones.data()};
    for (int i = 0; i < common::kSubFiles; ++i) {
        void* data = fm.loadSubFile(common, static_cast<unsigned>(i));
        const int len = fm.getSubFileLength(common, static_cast<unsigned>(i));
        FsBitmapLayout layout;
        if (common::IsGraphic(i)) {
            EXPECT_EQ(fsCheckBitmap(data, static_cast<size_t>(len), &layout), FS_BITMAP_OK) << i;
            EXPECT_EQ(layout.fileBytes, static_cast<uint32_t>(len)) << i;
        }
        const size_t n = static_cast<size_t>(len);
        EXPECT_TRUE(!common::IsGeometry(i) || veEngineCheckGeo(data, n) == 1) << i;
        int parts = 0;
        EXPECT_TRUE(!common::IsCollision(i) || (collisiondata::CheckBlock(data, n, &parts).ok && parts > 0))
            << i;
        EXPECT_TRUE(!common::FontName(i) || veFontCheckImage(data, n) == 1) << i;
        const _skeleton* skeleton = nullptr;
        for (int r : {12, 15, 24, 74}) skeleton = r == i ? &rider : skeleton;
        for (int b : {14, 20, 69, 75}) skeleton = b == i ? &bike : skeleton;
        EXPECT_TRUE(!skeleton || veAnimCheckAnimation(static_cast<const _animation*>(data), n, skeleton) == 0)
            << i;
    }
    x_free(common);
    for (const char* name : {"frontend\\uni18.fnt", "frontend\\highligh.fnt"}) {
        int flen = 0;
        void* font = x_LoadFileLength(name, &flen);
        ASSERT_NE(font, nullptr) << name;
        EXPECT_EQ(veFontCheckImage(font, static_cast<size_t>(flen)), 1) << name;
        x_free(font);
    }
    int len = 0;
    void* text = x_LoadFileLength(kSoundTuningFile, &len);
    ASSERT_NE(text, nullptr);
    SoundTuning tuning;
    EXPECT_TRUE(ReadSoundTuning(static_cast<const char*>(text), static_cast<size_t>(len), &tuning).ok);
    x_free(text);
    console::CdUnmount();
}

TEST(SampleDisc, IsTheSameOnEveryRun) {
    // A fresh disc matches the one the build wrote.
    testsupport::TempDir a;
    ASSERT_TRUE(WriteSampleDisc(a.path()));
    std::string cmd = "diff -r '" + a.path() + "' '" + QZ_DISC_DIR + "' >/dev/null";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
}

TEST(SampleDisc, UnwritableDirectoryFails) {
    EXPECT_FALSE(WriteSampleDisc("/proc/qz-no-such-dir/disc"));
}

}  // namespace

// Finer levels of detail (bike 2, 1, 0; rider 9, 8, 7) carry more triangles; the skinned bike's tyres reach
// down to the ground below its centre, and the rider's helmet rises above the bike.
TEST(SampleDisc, ModelsStandOnTheGroundWithFinerLevelsOfDetailFirst) {
    auto header = [](int i) {
        _FS_GEO_HEADER h;
        std::memcpy(&h, WriteCommonGeometry(i).data(), sizeof h);
        return h;
    };
    EXPECT_GT(header(2).numTriangles, header(1).numTriangles);
    EXPECT_GT(header(1).numTriangles, header(0).numTriangles);
    EXPECT_GT(header(9).numTriangles, header(8).numTriangles);
    EXPECT_GT(header(8).numTriangles, header(7).numTriangles);
    auto extreme = [](const SkinMesh& m, float sign) {
        float y = -1e9f;
        for (const SkinMaterial& mat : m.materials)
            for (const SkinVertex& v : mat.triangles) y = std::max(y, sign * v.v.y);
        return sign * y;
    };
    EXPECT_NEAR(extreme(BikeMesh(0), -1.0f), -59.0f, 0.5f);
    EXPECT_GT(extreme(RiderGearMesh(0), 1.0f), extreme(BikeMesh(0), 1.0f) + 40.0f);
}
