// The credits' names file: what the writer wrote reads back, and each kind of damage (a file too long,
// NULs, an overlong name, characters the font has no glyph for, too many names, no credit line) is
// left out with one log line naming the file, never written past a name's 32 bytes.
#include "frontend/screens/names_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/log_capture.h"

namespace {

using namesfile::kNameSize;

struct Names {
    char out[4][kNameSize];
    Names() {
        for (auto& n : out) std::snprintf(n, kNameSize, "KEPT");
    }
};

namesfile::Result Read(const std::string& text, Names& n) {
    return namesfile::ReadNames(text.data(), text.size(), n.out, 4, "frontend\\names.txt");
}

TEST(NamesFile, WrittenNamesReadBackAndOtherLinesAreNotRead) {
    testsupport::LogCapture log;
    Names n;
    const std::string text = "rider SOMEONE\r\n" + namesfile::WriteNames({"MARA KOWALSKI", "DEV PATEL"}) +
                             "# note\r\ncredit HANA SATO\r\ncredit";
    EXPECT_EQ(Read(text, n).names, 3);
    EXPECT_STREQ(n.out[0], "MARA KOWALSKI");
    EXPECT_STREQ(n.out[1], "DEV PATEL");
    EXPECT_STREQ(n.out[2], "HANA SATO");  // the "\r" of a CRLF line is not part of the name
    EXPECT_STREQ(n.out[3], "KEPT");       // "credit" without its space is no credit line
    EXPECT_EQ(log.text(), "");
}

TEST(NamesFile, DamageIsLeftOutWithOneLineNamingTheFile) {
    testsupport::LogCapture log;
    {
        Names n;
        const std::string big(namesfile::kMaxBytes + 1, 'x');
        EXPECT_TRUE(Read(big, n).tooLong);
        EXPECT_STREQ(n.out[0], "KEPT");
        EXPECT_EQ(log.text(),
                  "frontend\\names.txt: 65537 bytes, more than 65536; file not read, names kept\n");
    }
    {
        log.clear();
        Names n;
        std::string text = "credit AXB\ncredit " + std::string(10000, 'Y') +
                           "\ncredit \x01\xff"
                           "Z\n";
        text[8] = '\0';  // the X
        const namesfile::Result r = Read(text, n);
        EXPECT_EQ(r.names, 2);
        EXPECT_EQ(r.withNul, 1);
        EXPECT_EQ(std::string(n.out[0]), std::string(31, 'Y'));
        EXPECT_STREQ(n.out[1], "??Z");
        EXPECT_EQ(log.count("frontend\\names.txt: "), 3);
        EXPECT_TRUE(log.has("1 credit lines hold a NUL"));
        EXPECT_TRUE(log.has("1 names longer than 31 characters; cut"));
        EXPECT_TRUE(log.has("1 names hold characters outside printable ASCII"));
    }
    {
        log.clear();
        Names n;
        std::string many;
        for (int i = 0; i < 5000; ++i) many += "credit N" + std::to_string(i) + "\n";
        EXPECT_EQ(Read(many, n).extra, 4996);
        EXPECT_STREQ(n.out[3], "N3");
        EXPECT_EQ(log.text(), "frontend\\names.txt: 4996 credit lines past the credits' 4; left out\n");
    }
    for (const std::string& none :
         {std::string(), std::string("rider A\nrider B\n"), std::string(300, '\0')}) {
        log.clear();
        Names n;
        EXPECT_EQ(Read(none, n).names, 0);
        EXPECT_STREQ(n.out[0], "KEPT");
        EXPECT_TRUE(log.has("frontend\\names.txt: no credit line; names kept\n")) << none.size();
    }
}

}  // namespace
