#include "engine/sys/boot.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "console/cd/cd.h"
#include "console/iop/iop.h"
#include "engine/sys/files.h"
#include "support/temp_dir.h"

namespace {

const char* const kBootModules[] = {"SIO2MAN.IRX", "MTAPMAN.IRX", "PADMAN.IRX", "MCMAN.IRX",
                                    "MCSERV.IRX",  "LIBSD.IRX",   "SDRDRV.IRX"};

void WriteSystem(const testsupport::TempDir& disc, const char* skip = nullptr) {
    disc.write("SYSTEM/IOPRP22.IMG", std::string("image"));
    for (const char* m : kBootModules)
        if (!skip || std::string(m) != skip) disc.write(std::string("SYSTEM/") + m, std::string("module"));
}

TEST(Boot, LoadsEveryModuleInOrderAndResetsTheFiles) {
    testsupport::TempDir disc;
    WriteSystem(disc);
    ASSERT_TRUE(console::CdMount(disc.path().c_str()));
    x_InitSTDIO();
    x_BuildHostPrefix();
    EXPECT_STREQ(engine::HostPrefix, "cdrom0:");
    ASSERT_EQ(x_HardwareBootSystem(), 0);
    EXPECT_EQ(console::IopLoadedModuleCount(), 7);
    for (const char* m : kBootModules) EXPECT_TRUE(console::IopModuleLoaded(m)) << m;
    EXPECT_EQ(engine::PS2CDInit, 1);
    EXPECT_EQ(PS2CD_GetMediaType(), SCECdDVD);
    for (int i = 0; i < kPs2FileCount; ++i) {
        EXPECT_EQ(PS2CD_FileRecord(i)->inUse, 0);
        EXPECT_EQ(PS2CD_FileRecord(i)->index, i);
    }
    EXPECT_EQ(PS2CD_LRUBuffer(), 0);
    console::CdUnmount();
}

TEST(Boot, AMissingModuleStopsTheBootAndNamesItsPath) {
    testsupport::TempDir disc;
    WriteSystem(disc, "PADMAN.IRX");
    ASSERT_TRUE(console::CdMount(disc.path().c_str()));
    console::IopReset();
    x_BuildHostPrefix();
    ::testing::internal::CaptureStdout();
    const int result = x_HardwareBootSystem();
    const std::string log = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, -1);
    EXPECT_EQ(log, "x_HardwareLoadModule: ERROR LOADING MODULE cdrom0:\\SYSTEM\\PADMAN.IRX\n");
    // The modules before it were loaded; none after it was tried.
    EXPECT_EQ(console::IopLoadedModuleCount(), 2);
    EXPECT_TRUE(console::IopModuleLoaded("MTAPMAN.IRX"));
    EXPECT_FALSE(console::IopModuleLoaded("MCMAN.IRX"));
    EXPECT_EQ(x_HardwareLoadModule("SDRDRV.IRX"), 0);
    EXPECT_EQ(x_HardwareLoadModule("NOSUCH.IRX"), -1);
    console::CdUnmount();
}

}  // namespace
