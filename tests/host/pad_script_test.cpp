#include "host/pad_script.h"

#include <gtest/gtest.h>

#include <string>

#include "console/pad/pad.h"
#include "engine/sys/heap.h"
#include "support/temp_dir.h"

namespace {

using namespace console;

TEST(PadScript, RulesGiveEachFrameItsButtonsAndSticks) {
    host::PadScript s;
    host::Error err;
    ASSERT_TRUE(
        s.Parse("# attract, then into the menu\n"
                "0-119   IDLE\n"
                "120-125 start\n"
                "\n"
                "200     Cross  Up LX=0 ly=255   # hold\n"
                "300+    CROSS RY=10\n"
                "310     UNPLUGGED\n",
                "test", &err))
        << err.Text();
    EXPECT_EQ(s.RuleCount(), 5u);
    PadInput in = s.StateAt(0);
    EXPECT_TRUE(in.connected);
    EXPECT_EQ(in.buttons, 0);
    EXPECT_EQ(in.sticks[0], 128);
    EXPECT_EQ(s.StateAt(120).buttons, kPadStart);
    EXPECT_EQ(s.StateAt(125).buttons, kPadStart);
    EXPECT_EQ(s.StateAt(126).buttons, 0);  // no rule: connected and idle
    EXPECT_TRUE(s.StateAt(126).connected);
    in = s.StateAt(200);
    EXPECT_EQ(in.buttons, kPadCross | kPadUp);
    EXPECT_EQ(in.sticks[2], 0);
    EXPECT_EQ(in.sticks[3], 255);
    EXPECT_EQ(in.sticks[0], 128);
    in = s.StateAt(1000000);
    EXPECT_EQ(in.buttons, kPadCross);
    EXPECT_EQ(in.sticks[1], 10);
    EXPECT_FALSE(s.StateAt(310).connected);  // the later rule wins
    EXPECT_TRUE(s.StateAt(311).connected);
}

TEST(PadScript, EveryButtonNameMapsToItsBit) {
    host::PadScript s;
    host::Error err;
    ASSERT_TRUE(
        s.Parse("0 L2\n1 R2\n2 L1\n3 R1\n4 TRIANGLE\n5 CIRCLE\n6 CROSS\n7 SQUARE\n8 SELECT\n9 L3\n10 R3\n"
                "11 START\n12 UP\n13 RIGHT\n14 DOWN\n15 LEFT\n",
                "names", &err));
    for (int f = 0; f < 16; ++f) EXPECT_EQ(s.StateAt(static_cast<uint64_t>(f)).buttons, 1u << f) << f;
}

TEST(PadScript, BadLinesAreReportedWithTheirLineNumber) {
    host::PadScript s;
    host::Error err;
    EXPECT_FALSE(s.Parse("0 IDLE\n5-3 CROSS\n", "p1.txt", &err));
    EXPECT_EQ(std::string(err.Text()),
              "p1.txt:2: bad frame range '5-3' (give N, N-M with M not below N, or N+; shown frames counted "
              "from 0)");
    for (const char* bad : {"x START\n", "-3 START\n", "3- START\n", "+ START\n", "1-2-3 START\n"}) {
        EXPECT_FALSE(s.Parse(bad, "p", &err)) << bad;
        EXPECT_NE(std::string(err.Text()).find("(give N, N-M"), std::string::npos) << bad;
    }
    EXPECT_FALSE(s.Parse("0 JUMP\n", "p1.txt", &err));
    EXPECT_EQ(
        std::string(err.Text()),
        "p1.txt:1: unknown word 'JUMP' (buttons: START SELECT CROSS CIRCLE SQUARE TRIANGLE UP DOWN LEFT "
        "RIGHT L1 L2 L3 R1 R2 R3; sticks LX= LY= RX= RY=; IDLE; UNPLUGGED)");
    // A stick word with a value out of range says the range, not that the word is unknown.
    EXPECT_FALSE(s.Parse("0 IDLE\n1 CROSS LX=256 # too far\n", "p", &err));
    EXPECT_EQ(std::string(err.Text()), "p:2: bad stick value in 'LX=256' (give 0 to 255, 128 is the centre)");
    EXPECT_FALSE(s.Parse("0 LX=\n", "p", &err));
    EXPECT_EQ(std::string(err.Text()), "p:1: bad stick value in 'LX=' (give 0 to 255, 128 is the centre)");
    EXPECT_FALSE(s.Parse("0 LZ=3\n", "p", &err));
    EXPECT_EQ(std::string(err.Text()).substr(0, 24), "p:1: unknown word 'LZ=3'");
    EXPECT_FALSE(s.Parse("x CROSS\n", "p", &err));
    EXPECT_FALSE(s.Parse("+ CROSS\n", "p", &err));
    EXPECT_FALSE(s.Parse("99999999999999999999 CROSS\n", "p", &err));
    EXPECT_FALSE(s.Load("/nonexistent/pad.txt", &err));
    EXPECT_NE(std::string(err.Text()).find("/nonexistent/pad.txt"), std::string::npos);
}

// A binary file given as a script: the message shows its bytes as printable text (a terminal escape, a
// NUL, bytes past ASCII) and only the start of a word that runs on.
TEST(PadScript, AWordThatIsNotTextIsShownInPrintableCharacters) {
    host::PadScript s;
    host::Error err;
    // Octal escapes: \177 is 0x7f, \033 the terminal's escape, \303\251 an accented letter in UTF-8.
    const std::string elf =
        std::string("\177ELF\002\001\001\000\033[2J\303\251", 14) + std::string(100, 'A') + "\n";
    EXPECT_FALSE(s.Parse(elf, "game.bin", &err));
    EXPECT_EQ(std::string(err.Text()),
              "game.bin:1: bad frame range '\\x7fELF\\x02\\x01\\x01\\x00\\x1b[2J\\xc3\\xa9" +
                  std::string(26, 'A') +
                  "...' (give N, N-M with M not below N, or N+; shown frames counted from 0)");
    EXPECT_FALSE(s.Parse("0 CR\x1b]0;x\x07OSS\n", "p", &err));
    EXPECT_EQ(std::string(err.Text()).rfind("p:1: unknown word 'CR\\x1b]0;x\\x07OSS' (", 0), 0u)
        << err.Text();
    EXPECT_FALSE(s.Parse("0 LX=\2331\n", "p", &err));
    EXPECT_EQ(std::string(err.Text()),
              "p:1: bad stick value in 'LX=\\x9b1' (give 0 to 255, 128 is the centre)");
    // Exactly the bytes shown: no "..." after a word that fits.
    EXPECT_FALSE(s.Parse(std::string(40, 'B') + " CROSS\n", "p", &err));
    EXPECT_NE(std::string(err.Text()).find("'" + std::string(40, 'B') + "' ("), std::string::npos)
        << err.Text();
}

TEST(PadScript, LoadsAFileAndFeedsThePadStandIn) {
    testsupport::TempDir dir;
    dir.write("pad2.txt", std::string("0-9 UNPLUGGED\r\n10+ SQUARE RX=255\r\n"));
    host::PadScript s;
    host::Error err;
    ASSERT_TRUE(s.Load(dir.file("pad2.txt").c_str(), &err)) << err.Text();
    PadReset();
    s.Apply(0, 1, 5);
    EXPECT_FALSE(PadGetInput(0, 1).connected);
    s.Apply(0, 1, 10);
    EXPECT_TRUE(PadGetInput(0, 1).connected);
    EXPECT_EQ(PadGetInput(0, 1).buttons, kPadSquare);
    EXPECT_EQ(PadGetInput(0, 1).sticks[0], 255);
    PadReset();
}

// The script is the host's input, not the game's: reading and keeping even a large one takes nothing
// from the engine heap the game runs in.
TEST(PadScript, IsKeptOutsideTheEngineHeap) {
    testsupport::TempDir dir;
    std::string text;
    for (int f = 0; f < 200000; ++f)
        text += std::to_string(f) + " CROSS LX=" + std::to_string(f % 256) + "\n";
    dir.write("big.txt", text);
    delete new int(0);  // the engine heap is set up by its first allocation
    const int before = x_TotalMemoryFree();
    host::PadScript s;
    host::Error err;
    ASSERT_TRUE(s.Load(dir.file("big.txt").c_str(), &err)) << err.Text();
    EXPECT_EQ(s.RuleCount(), 200000u);
    EXPECT_EQ(x_TotalMemoryFree(), before);
    EXPECT_EQ(s.StateAt(199999).sticks[2], 199999 % 256);
}

// A script of exactly the limit is read whole; one byte more is refused, not cut to its first 16 MiB.
TEST(PadScript, AScriptOverTheLimitIsRefusedNotCut) {
    testsupport::TempDir dir;
    const std::string rule = "0 CROSS\n";
    std::string text(host::PadScript::kMaxScriptBytes - rule.size(), '#');
    text[text.size() - 1] = '\n';
    dir.write("at.txt", text + rule);
    host::PadScript s;
    host::Error err;
    ASSERT_TRUE(s.Load(dir.file("at.txt").c_str(), &err)) << err.Text();
    EXPECT_EQ(s.StateAt(0).buttons, kPadCross);  // the rule at the very end was read
    dir.write("over.txt", text + rule + "1 SQUARE\n");
    EXPECT_FALSE(s.Load(dir.file("over.txt").c_str(), &err));
    EXPECT_EQ(
        std::string(err.Text()),
        dir.file("over.txt") + ": the pad script is larger than 16 MiB; a pad script is a short text file");
}

}  // namespace
