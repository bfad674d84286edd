#include "mkdisc/disc_writer.h"
#include "engine/anim/anim_format.h"

#include <gtest/gtest.h>

#include <string>

#include "console/cd/cd.h"
#include "engine/anim/anim_check.h"
#include "engine/font/font.h"
#include "engine/hal/geometry.h"
#include "engine/sys/bitmap.h"
#include "engine/sys/files.h"
#include "engine/sys/heap.h"
#include "game/files/collision_data.h"
#include "game/files/file_manager.h"
#include "mkdisc/motions.h"
#include "support/temp_dir.h"

namespace {

TEST(SampleDisc, HoldsTheBootFilesAndAValidCommonObjectsFile) {
    testsupport::TempDir dir;
    ASSERT_TRUE(WriteSampleDisc(dir.path()));
    ASSERT_TRUE(console::CdMount(dir.path().c_str()));
    x_InitSTDIO();
    PS2CD_ResetFiles();
    sceCdlFILE entry;
    for (const char* name :
         {"\\SYSTEM\\IOPRP22.IMG;1", "\\SYSTEM\\SIO2MAN.IRX", "\\SYSTEM\\MTAPMAN.IRX", "\\SYSTEM\\PADMAN.IRX",
          "\\SYSTEM\\MCMAN.IRX", "\\SYSTEM\\MCSERV.IRX", "\\SYSTEM\\LIBSD.IRX", "\\SYSTEM\\SDRDRV.IRX",
          "\\SYSTEM\\BRNX_AMM.IRX", "\\AUDIO\\SOUND.TXT"})
        EXPECT_EQ(sceCdSearchFile(&entry, name), 1) << name;
    CFileManager fm;
    void* common = fm.loadFile("COMMON\\qz02dat.bin");
    ASSERT_NE(common, nullptr);
    EXPECT_GE(fm.getSubFileCount(common), 213);
    // The texture slots hold graphics files that the bitmap reader accepts whole.
    for (int slot : {76, 77, 101, 125, 127, 129, 133, 138, 161, 169, 170, 194, 197}) {
        FsBitmapLayout layout;
        int len = fm.getSubFileLength(common, static_cast<unsigned>(slot));
        ASSERT_GT(len, 64) << slot;
        EXPECT_EQ(fsCheckBitmap(fm.loadSubFile(common, static_cast<unsigned>(slot)), static_cast<size_t>(len),
                                &layout),
                  FS_BITMAP_OK)
            << slot;
        EXPECT_EQ(layout.fileBytes, static_cast<uint32_t>(len)) << slot;
    }
    // Geometry blocks and fonts pass their readers' checks where the game loads them (in place).
    for (int slot : {0, 1, 2, 6, 7, 8, 9, 10}) {
        int len = fm.getSubFileLength(common, static_cast<unsigned>(slot));
        EXPECT_EQ(
            veEngineCheckGeo(fm.loadSubFile(common, static_cast<unsigned>(slot)), static_cast<size_t>(len)),
            1)
            << slot;
    }
    for (int slot : {3, 4, 5, 11}) {
        int len = fm.getSubFileLength(common, static_cast<unsigned>(slot));
        EXPECT_GT(collisiondata::CheckBlock(fm.loadSubFile(common, static_cast<unsigned>(slot)),
                                            static_cast<size_t>(len)),
                  0)
            << slot;
    }
    // Motions fit the skeletons they were made for.
    std::vector<_bone> riderBones = RiderSkeletonBones(), bikeBones = BikeSkeletonBones();
    const _skeleton rider{static_cast<uint32_t>(riderBones.size()), riderBones.data()};
    const _skeleton bike{static_cast<uint32_t>(bikeBones.size()), bikeBones.data()};
    for (int slot : {12, 15, 24, 74}) {
        int len = fm.getSubFileLength(common, static_cast<unsigned>(slot));
        EXPECT_EQ(veAnimCheckAnimation(
                      static_cast<const _animation*>(fm.loadSubFile(common, static_cast<unsigned>(slot))),
                      static_cast<uint32_t>(len), &rider),
                  0)
            << slot;
    }
    for (int slot : {14, 20, 69, 75}) {
        int len = fm.getSubFileLength(common, static_cast<unsigned>(slot));
        EXPECT_EQ(veAnimCheckAnimation(
                      static_cast<const _animation*>(fm.loadSubFile(common, static_cast<unsigned>(slot))),
                      static_cast<uint32_t>(len), &bike),
                  0)
            << slot;
    }
    for (int slot : {139, 143, 147, 148}) {
        int len = fm.getSubFileLength(common, static_cast<unsigned>(slot));
        EXPECT_EQ(
            veFontCheckImage(fm.loadSubFile(common, static_cast<unsigned>(slot)), static_cast<size_t>(len)),
            1)
            << slot;
    }
    x_free(common);
    for (const char* name : {"frontend\\uni18.fnt", "frontend\\highligh.fnt"}) {
        int flen = 0;
        void* font = x_LoadFileLength(name, &flen);
        ASSERT_NE(font, nullptr) << name;
        EXPECT_EQ(veFontCheckImage(font, static_cast<size_t>(flen)), 1) << name;
        x_free(font);
    }
    // sound.txt: ten volumes and frequencies, three group limits, within the reader's 256 bytes.
    int len = 0;
    void* text = x_LoadFileLength("AUDIO\\sound.txt", &len);
    ASSERT_NE(text, nullptr);
    EXPECT_LE(len, 256);
    float v[10];
    int g[3];
    std::string s(static_cast<const char*>(text), static_cast<size_t>(len));
    EXPECT_EQ(std::sscanf(s.c_str(), "%f %f %f %f %f %f %f %f %f %f %d %d %d", &v[0], &v[1], &v[2], &v[3],
                          &v[4], &v[5], &v[6], &v[7], &v[8], &v[9], &g[0], &g[1], &g[2]),
              13);
    x_free(text);
    console::CdUnmount();
}

TEST(SampleDisc, IsTheSameOnEveryRun) {
    testsupport::TempDir a, b;
    ASSERT_TRUE(WriteSampleDisc(a.path()));
    ASSERT_TRUE(WriteSampleDisc(b.path()));
    std::string cmd = "diff -r '" + a.path() + "' '" + b.path() + "' >/dev/null";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
}

TEST(SampleDisc, UnwritableDirectoryFails) {
    EXPECT_FALSE(WriteSampleDisc("/proc/qz-no-such-dir/disc"));
}

}  // namespace
