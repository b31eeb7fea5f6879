// CheckDisplayDriver: the system.ini reading rules, the section and line tests, and what happens
// when the file cannot be had.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "host/machine.h"
#include "probe/probe.h"
#include "tests/support/system_ini_model.h"
#include "tests/support/process.h"
#include "tests/support/scratch_folder.h"

namespace {

const std::string kHeader = "[boot.description]";
const std::string kLine   = "display.drv=Lumarel series";

class CheckDisplayDriverTest : public ::testing::Test {
  protected:
    void SetUp() override { support::StartFreshProcess(); }

    static void PutSystemIni(const std::string& bytes, std::optional<size_t> failReadAt = std::nullopt) {
        host::TheMachine().files[host::SystemIniPath()] = host::HostFile{bytes, failReadAt};
    }

    // 1 where the check finds the served driver's line, as the run reads it.
    static int Found() { return CheckDisplayDriver() == kDriverNamed ? 1 : 0; }
};

struct IniCase {
    const char* name;
    std::string text;
    int expected;
};

void PrintTo(const IniCase& c, std::ostream* os) {
    *os << c.name;
}

std::string Filler(size_t n) {
    return std::string(n, 'x');
}

// How ReadFile happens to split the file must never change the answer: 1 puts every CR and its LF
// in different reads, 0 is one read for the whole file.
const size_t kReadChunks[] = {0, 1, 2, 3, 7, 27, 28};

const IniCase kIniCases[] = {
    {"DefaultMachine", host::DefaultSystemIni(), 1},
    {"LfEnds", kHeader + "\n" + kLine + "\n", 1},
    {"CrLfEnds", kHeader + "\r\n" + kLine + "\r\n", 1},
    {"LastLineWithLf", "[boot]\r\n" + kHeader + "\r\nshell=Explorer.exe\r\n" + kLine + "\n", 1},
    {"LastLineWithoutLf", kHeader + "\r\n" + kLine, 0},
    {"LastLineEndsInCr", kHeader + "\r\n" + kLine + "\r", 0},
    {"CrCrLf", kHeader + "\r\n" + kLine + "\r\r\n", 0},
    {"LoneCrInsideLine", kHeader + "\r\ndisplay.drv=Lumarel\rseries\r\n", 0},
    {"EmptyFile", "", 0},
    {"OnlyNewlines", "\r\n\n\r\n", 0},
    {"CtrlZBeforeHeader", "[boot]\r\n\x1A" + kHeader + "\r\n" + kLine + "\r\n", 0},
    {"CtrlZBeforeLine", kHeader + "\r\n\x1A" + kLine + "\r\n", 0},
    {"CtrlZRightAfterLineBeforeItsEnd", kHeader + "\r\n" + kLine + "\x1A\r\n", 0},
    {"CtrlZBetweenCrAndLf", kHeader + "\r\n" + kLine + "\r\x1A\n", 0},
    {"CtrlZAfterLine", kHeader + "\r\n" + kLine + "\r\n\x1A" + "garbage", 1},
    {"LineUnderLaterSection", kHeader + "\r\nkeyboard.typ=Standard\r\n[386Enh]\r\n" + kLine + "\r\n", 1},
    {"LineBeforeHeaderOnly", "[boot]\r\n" + kLine + "\r\n" + kHeader + "\r\nshell=Explorer.exe\r\n", 0},
    {"LineFoundAndLaterLinesDiffer", kHeader + "\r\n" + kLine + "\r\n" + "display.drv=other.drv\r\n", 1},
    {"HeaderWithTrailingText", kHeader + " ; comment\r\n" + kLine + "\r\n", 1},
    {"HeaderOtherCase", "[Boot.Description]\r\n" + kLine + "\r\n", 0},
    {"HeaderIndented", " " + kHeader + "\r\n" + kLine + "\r\n", 0},
    {"HeaderCutShort", "[boot.description\r\n" + kLine + "\r\n", 0},
    {"BlanksAroundEquals", kHeader + "\r\ndisplay.drv = Lumarel series\r\n", 0},
    {"KeyOtherCase", kHeader + "\r\nDisplay.drv=Lumarel series\r\n", 0},
    {"OtherDescription", kHeader + "\r\ndisplay.drv=Lumarel series 2\r\n", 0},
    {"TrailingBlank", kHeader + "\r\n" + kLine + " \r\n", 0},
    {"NulInsideLine", kHeader + "\r\ndisplay.drv=Lumarel" + std::string(1, '\0') + "series\r\n", 0},
    // A 300-character line is examined as a piece of 254 and a piece of 46 with its newline.
    {"LongLineFirstPieceIsHeader", kHeader + Filler(300 - 1 - kHeader.size()) + "\n" + kLine + "\n", 1},
    {"LongLineSecondPieceIsHeader",
     Filler(254) + kHeader + Filler(46 - 1 - kHeader.size()) + "\n" + kLine + "\n", 1},
    {"LongLineHeaderOneLate", Filler(255) + kHeader + "\n" + kLine + "\n", 0},
    {"LongLineHeaderOneEarly", Filler(253) + kHeader + "\n" + kLine + "\n", 0},
    {"LongLineSecondPieceIsLine", kHeader + "\r\n" + Filler(254) + kLine + "\r\n", 1},
    {"LongLineSecondPieceIsLineLf", kHeader + "\n" + Filler(254) + kLine + "\n", 1},
    {"LongLineLineOneLate", kHeader + "\r\n" + Filler(255) + kLine + "\r\n", 0},
    {"LongLineLineOneEarly", kHeader + "\r\n" + Filler(253) + kLine + "\r\n", 0},
    {"ThirdPieceIsLine", kHeader + "\r\n" + Filler(508) + kLine + "\r\n", 1},
    // 254 characters, then the newline alone as the next piece, then the line.
    {"LfAloneAfterFullPiece", kHeader + "\r\n" + Filler(254) + "\r\n" + kLine + "\r\n", 1},
    {"LineSplitByFullPiece", kHeader + "\r\n" + Filler(254 - 5) + kLine + "\r\n", 0},
};

class SystemIniCases : public CheckDisplayDriverTest, public ::testing::WithParamInterface<IniCase> {};

TEST_P(SystemIniCases, SameAnswerHoweverTheReadsSplitTheFile) {
    const IniCase& c = GetParam();
    for (size_t chunk : kReadChunks) {
        SetUp();
        PutSystemIni(c.text);
        host::TheMachine().readChunk = chunk;
        EXPECT_EQ(Found(), c.expected) << "reads of " << chunk << " bytes";
        EXPECT_TRUE(host::TheMachine().messageBoxes.empty());
        EXPECT_TRUE(host::TheMachine().openObjects.empty()) << "file left open";
    }
}

INSTANTIATE_TEST_SUITE_P(Probe, SystemIniCases, ::testing::ValuesIn(kIniCases),
                         [](const ::testing::TestParamInfo<IniCase>& info) { return info.param.name; });

TEST_F(CheckDisplayDriverTest, OpensSharedForReadingAndClosesTheFile) {
    host::TheMachine().windowsDirectory = "C:\\WIN98";
    PutSystemIni(host::DefaultSystemIni());
    EXPECT_EQ(Found(), 1);

    const host::Machine& m = host::TheMachine();
    ASSERT_EQ(m.createFileCalls.size(), 1u);
    EXPECT_EQ(m.createFileCalls[0].path, "C:\\WIN98\\system.ini");
    EXPECT_EQ(m.createFileCalls[0].access, GENERIC_READ);
    EXPECT_EQ(m.createFileCalls[0].share, FILE_SHARE_READ | FILE_SHARE_WRITE);
    EXPECT_EQ(m.createFileCalls[0].disposition, static_cast<DWORD>(OPEN_EXISTING));
    EXPECT_EQ(m.createFileCalls[0].flags, FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(m.calls.front(), "GetWindowsDirectoryA");
    EXPECT_EQ(m.calls.back(), "CloseHandle");
    EXPECT_EQ(m.closedHandles.size(), 1u);
    EXPECT_TRUE(m.openObjects.empty());
}

// The run stops at the first byte 0x1A: no read is asked for after the one that brought it.
TEST_F(CheckDisplayDriverTest, NothingIsReadAfterCtrlZ) {
    std::string tail;
    for (int i = 0; i < 1000; ++i) {
        tail += kLine + "\r\n";
    }
    PutSystemIni(kHeader + "\r\n\x1A" + tail); // 0x1A is byte 20: the third read of 8
    host::TheMachine().readChunk = 8;
    EXPECT_EQ(Found(), 0);
    EXPECT_EQ(host::CountCalls("ReadFile"), 3u);
}

// The CR of the line is the last byte of the first full read, its LF the first of the next.
TEST_F(CheckDisplayDriverTest, LineAcrossTheReadBufferBoundary) {
    const size_t kFirstRead = 64 * 1024;
    std::string text        = kHeader + "\r\n";
    while (text.size() + 40 < kFirstRead - kLine.size() - 1) {
        text += "device=*vxd" + std::to_string(text.size()) + "\r\n";
    }
    text += Filler(kFirstRead - kLine.size() - 1 - 2 - text.size()) + "\r\n";
    text += kLine + "\r\n";
    ASSERT_EQ(text[kFirstRead - 1], '\r');
    ASSERT_EQ(text[kFirstRead], '\n');
    text += std::string(3 * kFirstRead, ';') + "\r\n";
    PutSystemIni(text);
    EXPECT_EQ(Found(), 1);
}

struct FailCase {
    const char* name;
    size_t failAt; // offset of the first byte whose read fails
    int expected;
};

void PrintTo(const FailCase& c, std::ostream* os) {
    *os << c.name;
}

// "[boot.description]\r\n" is 20 bytes, the line with its CR LF ends at 48.
const FailCase kFailCases[] = {
    {"BeforeHeader", 0, 0},    {"InsideHeader", 10, 0},   {"InsideLine", 30, 0},
    {"BetweenCrAndLf", 47, 0}, {"RightAfterLine", 48, 1}, {"FarAfterLine", 60, 1},
};

class ReadFailsPartWay : public CheckDisplayDriverTest, public ::testing::WithParamInterface<FailCase> {};

// The scan ends at the failed read with what it found so far; a line not finished before the
// failure is not examined. The file is closed and no message is shown.
TEST_P(ReadFailsPartWay, FoundSoFarAndTheFileIsClosed) {
    const FailCase& c = GetParam();
    for (size_t chunk : kReadChunks) {
        SetUp();
        PutSystemIni(kHeader + "\r\n" + kLine + "\r\n[386Enh]\r\ndevice=*vpicd\r\n", c.failAt);
        host::TheMachine().readChunk = chunk;
        EXPECT_EQ(Found(), c.expected) << "reads of " << chunk << " bytes";
        EXPECT_TRUE(host::TheMachine().messageBoxes.empty());
        EXPECT_EQ(host::TheMachine().closedHandles.size(), 1u);
        EXPECT_TRUE(host::TheMachine().openObjects.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Probe, ReadFailsPartWay, ::testing::ValuesIn(kFailCases),
                         [](const ::testing::TestParamInfo<FailCase>& info) { return info.param.name; });

// The check tells nobody: the utility shows its box for a file that does not open (tests/app/).
TEST_F(CheckDisplayDriverTest, MissingFileSaysSoAndReadsNothing) {
    host::TheMachine().files.clear();
    EXPECT_EQ(CheckDisplayDriver(), kSystemIniNotOpen);
    EXPECT_TRUE(host::TheMachine().messageBoxes.empty());
    EXPECT_EQ(host::CountCalls("CreateFileA"), 1u);
    EXPECT_EQ(host::CountCalls("ReadFile"), 0u);
    EXPECT_EQ(host::CountCalls("CloseHandle"), 0u);
}

// The path buffer holds 256 bytes: a directory of 244 characters still leaves room for
// "\system.ini" and the zero; anything longer, or no directory at all, is no path, and nothing is
// opened.
TEST_F(CheckDisplayDriverTest, WindowsDirectoryTooLongOrUnknown) {
    const struct {
        size_t length;
        bool opens;
    } cases[] = {{0, false},   {1, true},    {243, true},  {244, true},
                 {245, false}, {254, false}, {255, false}, {300, false}};
    for (const auto& c : cases) {
        SetUp();
        host::TheMachine().windowsDirectory = std::string(c.length, 'W');
        PutSystemIni(host::DefaultSystemIni());
        EXPECT_EQ(CheckDisplayDriver(), c.opens ? kDriverNamed : kSystemIniNoPath)
            << c.length << " characters";
        char path[kSystemIniPathSize];
        EXPECT_EQ(BuildSystemIniPath(path),
                  !c.opens ? (c.length == 0 ? kNoWindowsFolder : kWindowsFolderTooLong) : kSystemIniPathBuilt)
            << c.length << " characters";
        EXPECT_TRUE(host::TheMachine().messageBoxes.empty());
        if (c.opens) {
            ASSERT_EQ(host::TheMachine().createFileCalls.size(), 1u);
            EXPECT_EQ(host::TheMachine().createFileCalls[0].path, host::SystemIniPath());
        } else {
            EXPECT_EQ(host::CountCalls("CreateFileA"), 0u) << c.length << " characters";
        }
    }
}

TEST_F(CheckDisplayDriverTest, FileLoadedFromTheHost) {
    support::ScratchFolder folder;
    const std::string hostPath = folder.File("system.ini");
    const std::string content  = "[386Enh]\r\n" + kHeader + "\r\n" + kLine + "\r\n\x1A";
    std::ofstream(hostPath, std::ios::binary) << content;
    ASSERT_TRUE(host::LoadHostFile(host::SystemIniPath(), hostPath));
    EXPECT_EQ(Found(), 1);
    std::remove(hostPath.c_str());

    EXPECT_FALSE(host::LoadHostFile(host::SystemIniPath(), hostPath));
    EXPECT_EQ(host::TheMachine().files.at(host::SystemIniPath()).bytes, content);
}

// CheckDisplayDriver must agree with the plain model of the reading rules on files made of the
// pieces that matter, however the reads split them and wherever a read fails.
TEST_F(CheckDisplayDriverTest, AgreesWithAPlainModelOnMixedFiles) {
    const std::vector<std::string> parts = {
        kHeader, kLine, "\r", "\n", "\r\n", "\x1A", "display.drv", "[", "x", Filler(40), Filler(200), "=",
    };
    std::mt19937 random(1998);
    int foundCount = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        size_t count = random() % 40;
        for (size_t i = 0; i < count; ++i) {
            // The usual separators come more often, so whole lines form.
            text += random() % 3 == 0 ? "\r\n" : parts[random() % parts.size()];
        }
        if (random() % 2 == 0) {
            std::replace(text.begin(), text.end(), '\x1A', ';');
        }
        std::optional<size_t> failReadAt;
        if (random() % 4 == 0) {
            failReadAt = random() % (text.size() + 1);
        }
        SetUp();
        PutSystemIni(text, failReadAt);
        host::TheMachine().readChunk = random() % 4 == 0 ? 0 : 1 + random() % 64;
        int expected                 = support::ModelCheck(text, failReadAt.value_or(std::string::npos));
        foundCount += expected;
        ASSERT_EQ(Found(), expected) << "round " << round << ", reads of " << host::TheMachine().readChunk
                                     << ", failing at " << failReadAt.value_or(std::string::npos);
    }
    EXPECT_GT(foundCount, 50); // the mix does reach the line
}

// The pieces the reading hands on, at the limits of its buffer: each row the file, how ReadFile
// splits it (0: one read) and the pieces in order.
TEST_F(CheckDisplayDriverTest, PiecesAtTheLimitsOfTheLineBuffer) {
    struct Case {
        const char* name;
        std::string text;
        size_t readChunk;
        std::vector<std::string> pieces;
    } cases[] = {
        // 255 characters and the end of the file: a full piece of 254, then the last character.
        {"last line exactly at the limit", Filler(255), 0, {Filler(254), "x"}},
        {"last line one short of it", Filler(254), 0, {Filler(254)}},
        // An LF that is the first byte of a read, with nothing kept before it: an empty line.
        {"LF first in a read", "x\n\n\r\n", 2, {"x\n", "\n", "\n"}},
        {"LF first in the file", "\n" + kHeader + "\n", 0, {"\n", kHeader + "\n"}},
        // The header as the file's last line, exactly its own length.
        {"header at the end", kLine + "\n" + kHeader, 0, {kLine + "\n", kHeader}},
    };
    for (const Case& c : cases) {
        SetUp();
        PutSystemIni(c.text);
        host::TheMachine().readChunk = c.readChunk;
        std::vector<std::string> pieces;
        HANDLE file = OpenSystemIni(host::SystemIniPath().c_str());
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << c.name;
        ReadSystemIniLines(
            file,
            [](const char* line, size_t length, void* out) {
                static_cast<std::vector<std::string>*>(out)->push_back(std::string(line, length));
            },
            &pieces);
        CloseHandle(file);
        EXPECT_EQ(pieces, c.pieces) << c.name;
    }
}

// The section header counts by its first 18 characters, a line of exactly those included.
TEST(SectionHeader, CountsByItsFirstCharacters) {
    const struct {
        std::string line;
        int header;
    } cases[] = {
        {kHeader, 1},
        {kHeader + "\n", 1},
        {kHeader + " ; x\n", 1},
        {kHeader.substr(0, 17), 0},
        {"[Boot.Description]\n", 0},
        {" " + kHeader + "\n", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsSectionHeader(c.line.data(), c.line.size()), c.header) << c.line;
    }
}

} // namespace
