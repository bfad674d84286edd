// Runs the real program on discs with files damaged in place (there and readable, but refused whole by
// the game's checks): each file the game goes on without is named on standard error with the check's
// reason and recalled at the end, and the run ends with code 1; a file the run stops without is said once.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/run_command.h"
#include "support/temp_dir.h"

namespace {

// How many times `needle` appears in `text`.
int Count(const std::string& text, const std::string& needle) {
    int n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
    return n;
}

// The first half of the sample disc's file `rel`, written in place of its link.
void CutInHalf(const testsupport::TempDir& disc, const std::string& rel) {
    const std::string whole = testsupport::ReadText(std::string(QZ_DISC_DIR) + "/" + rel);
    ASSERT_GT(whole.size(), 2u) << rel;
    disc.write(rel, whole.substr(0, whole.size() / 2));
}

testsupport::CommandRun RunQz(const testsupport::TempDir& disc, const testsupport::TempDir& out, int frames) {
    return testsupport::RunCommand(std::string(QZ_BUILD_DIR) + "/qz --disc " + disc.path() + " --out " +
                                   out.path() + " --frames " + std::to_string(frames));
}

// What the program says after a damaged file's reason.
std::string GoesOnWithout(const testsupport::TempDir& disc) {
    return "; the game goes on without it; write the disc again with mkdisc ('" + std::string(QZ_BUILD_DIR) +
           "/mkdisc " + disc.path() + "')\n";
}

// The attract race's world cut to half its length: the master file's check refuses it and the race ends
// at once, as it always did; the program now names the file with the reason and ends the run with 1.
TEST(DamagedDiscRun, AWorldCutInHalfIsNamedAndEndsTheRunWithCode1) {
    testsupport::TempDir disc, out;
    ASSERT_TRUE(disc.linkSampleDisc());
    CutInHalf(disc, "WORLD/i03.bin");
    const testsupport::CommandRun r = RunQz(disc, out, 2000);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    const std::string kWhy = "not a valid master file (sub-file offset past the end of the file)";
    EXPECT_EQ(r.err, "qz: disc file WORLD/i03.bin is damaged: " + kWhy + GoesOnWithout(disc) +
                         "qz: the run went on without 1 disc file it could not read or use (each named "
                         "above): WORLD/i03.bin\n");
    // The game's log says what it said.
    EXPECT_NE(
        r.out.find("FileManager: ERROR: WORLD\\i03.bin is not a valid master file: sub-file offset past "
                   "the end of the file\n"),
        std::string::npos);
    EXPECT_EQ(r.out.find("qz:"), std::string::npos);
}

// Every kind of file the game refuses whole and goes on without: a world and its sounds, a font, a
// picture, a front-end sound, the credits' names, the sound tuning and a music stream. Each is named
// once, with its check's reason, and all are recalled at the end.
TEST(DamagedDiscRun, EachFileRefusedWholeIsNamedOnceAndRecalled) {
    testsupport::TempDir disc, out;
    ASSERT_TRUE(disc.linkSampleDisc());
    const std::string junk = "junk, not the file it should be";
    CutInHalf(disc, "WORLD/i03.bin");
    CutInHalf(disc, "WORLD/SNDS/snd_i03.bin");
    disc.write("frontend/uni18.fnt", junk);
    disc.write("frontend/loadscrn/loadscrn.ps2", junk);
    disc.write("FRONTEND/SOUND/move_l.snd", junk);
    disc.write("frontend/names.txt", std::string("rider ONE\nrider TWO\n"));
    disc.write("AUDIO/sound.txt", std::string("engine 9999\n"));
    disc.write("AUDIO/TITLE.STM", junk);
    const struct {
        const char* file;
        const char* why;
    } damaged[] = {
        {"FRONTEND/SOUND/move_l.snd", "shorter than its 64-byte header"},
        {"frontend/uni18.fnt", "shorter than its header"},
        {"frontend/names.txt", "no credit line"},
        {"frontend/loadscrn/loadscrn.ps2", "shorter than its header, extension, pixels and palette"},
        {"AUDIO/TITLE.STM", "not a music stream"},
        {"WORLD/SNDS/snd_i03.bin", "not a valid master file (sub-file offset past the end of the file)"},
        {"AUDIO/sound.txt", "no music volume"},
        {"WORLD/i03.bin", "not a valid master file (sub-file offset past the end of the file)"},
    };
    const testsupport::CommandRun r = RunQz(disc, out, 2000);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    std::string recalled;
    for (const auto& d : damaged) {
        EXPECT_EQ(Count(r.err, "qz: disc file " + std::string(d.file) + " is damaged: " + d.why +
                                   GoesOnWithout(disc)),
                  1)
            << d.file << "\n"
            << r.err;
        EXPECT_EQ(Count(r.err, d.file), 2) << d.file << "\n" << r.err;  // its line and the recall
        recalled += (recalled.empty() ? "" : ", ") + std::string(d.file);
    }
    // One line a file, then the recall, in the order met.
    EXPECT_EQ(Count(r.err, "\n"), 9) << r.err;
    EXPECT_EQ(Count(r.err, "qz: "), 9) << r.err;
    EXPECT_NE(
        r.err.find("qz: the run went on without 8 disc files it could not read or use (each named above): " +
                   recalled + "\n"),
        std::string::npos)
        << r.err;
}

// A damaged file the run cannot go on without (the front end's screens, the common objects) stops it; the
// reason is said once, in the line that says why it stopped, and no file is recalled.
TEST(DamagedDiscRun, ADamagedFileTheRunStopsWithoutIsSaidOnce) {
    testsupport::TempDir screens, common, out;
    for (const testsupport::TempDir* d : {&screens, &common}) ASSERT_TRUE(d->linkSampleDisc());
    screens.write("frontend/FE_game.exp", std::string("not a screen file"));
    common.write("COMMON/qz02dat.bin", std::string("\xff\xff\xff\x7f junk", 9));
    const struct {
        const testsupport::TempDir* disc;
        std::string line;
    } cases[] = {
        {&screens,
         "qz: the front end's screen file frontend/FE_game.exp is damaged: shorter than its header (17); "
         "write "
         "the disc again with mkdisc ('" +
             std::string(QZ_BUILD_DIR) + "/mkdisc " + screens.path() + "')\n"},
        {&common,
         "qz: the common-objects file COMMON/qz02dat.bin is not a valid master file (file too short for its "
         "header); write the disc again with mkdisc ('" +
             std::string(QZ_BUILD_DIR) + "/mkdisc " + common.path() + "')\n"},
    };
    for (const auto& c : cases) {
        const testsupport::CommandRun r = RunQz(*c.disc, out, 100);
        EXPECT_EQ(r.exitCode, 1) << r.err;
        EXPECT_EQ(r.err, c.line);
    }
}

}  // namespace

// The credits' names file: "not found" only when it is not there; a folder in its place says so.
TEST(DamagedDiscRun, TheNamesFileThatCannotBeHadIsLoggedForWhatItIs) {
    testsupport::TempDir gone, folder, out;
    ASSERT_TRUE(gone.linkSampleDisc());
    ASSERT_TRUE(folder.linkSampleDisc());
    ASSERT_EQ(std::remove(gone.file("frontend/names.txt").c_str()), 0);
    ASSERT_EQ(std::remove(folder.file("frontend/names.txt").c_str()), 0);
    folder.write("frontend/names.txt/inside", "x");
    const testsupport::CommandRun missing = RunQz(gone, out, 5);
    EXPECT_EQ(missing.exitCode, 1) << missing.err;
    EXPECT_NE(missing.out.find("Frontend: frontend\\names.txt not found, using the built-in names.\n"),
              std::string::npos)
        << missing.out;
    const testsupport::CommandRun notAFile = RunQz(folder, out, 5);
    EXPECT_EQ(notAFile.exitCode, 1) << notAFile.err;
    EXPECT_NE(notAFile.out.find(
                  "Frontend: frontend\\names.txt is not a file (a folder), using the built-in names.\n"),
              std::string::npos)
        << notAFile.out;
}
