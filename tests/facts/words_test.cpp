// The one wording of the facts LUMCHECK, LUMSET and refresh-sim tell: each word exactly as Windows
// 95/98 and the tables have it, so that a change of a character fails here, and every program that
// tells the fact changes with it.
#include <gtest/gtest.h>

#include <string>

#include "facts/words.h"
#include "timing/line_frequency.h"

namespace {

template <typename Put> std::string Said(Put put) {
    char text[512];
    put(text);
    return text;
}

TEST(Words, ColorsAsDisplayPropertiesNamesThem) {
    struct Case {
        int bits;
        const char* words;
    } cases[] = {
        {0, "colors unknown"},       {1, "1 bit per pixel"},      {4, "16 Colors"},
        {5, "5 bits per pixel"},     {8, "256 Colors"},           {15, "15 bits per pixel"},
        {16, "High Color (16 bit)"}, {24, "True Color (24 bit)"}, {25, "25 bits per pixel"},
        {32, "True Color (32 bit)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Said([&](char* t) { PutColors(t, c.bits); }), c.words) << c.bits;
    }
}

TEST(Words, KilohertzRoundedToOneDecimal) {
    struct Case {
        DWORD hertz;
        const char* words;
    } cases[] = {
        {48360, "48.4 kHz"}, {68677, "68.7 kHz"}, {64000, "64.0 kHz"},  {31449, "31.4 kHz"},
        {31450, "31.5 kHz"}, {0, "0.0 kHz"},      {99950, "100.0 kHz"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Said([&](char* t) { PutKilohertz(t, c.hertz); }), c.words) << c.hertz;
    }
}

TEST(Words, EntryRates) {
    EXPECT_EQ(Said([](char* t) { PutEntryRate(t, "60 "); }), "60 Hz");
    EXPECT_EQ(Said([](char* t) { PutEntryRate(t, "120"); }), "120 Hz");
    EXPECT_EQ(Said([](char* t) { PutEntryRate(t, ""); }), "no rate");
    EXPECT_EQ(Said([](char* t) { PutEntryRate(t, "0  "); }), "no rate");
}

// The state the utility's run has at a screen with a rate text, and the row its timing comes from.
struct Screen {
    DisplayState state;
    TableRow row;
};
Screen At(int width, int height, const char* rate) {
    Screen s{};
    s.state.width  = width;
    s.state.height = height;
    strcpy(s.state.rateText, rate);
    s.state.listRow   = ClassifyResolution(width, height);
    s.state.rateIndex = FindRateIndex(s.state.listRow, rate);
    RateSlot slot;
    EXPECT_TRUE(FindTimingRow(width, height, s.state.rateIndex, &s.row, &slot));
    return s;
}

TEST(Words, TheTimingSetNamesTheRowItComesFrom) {
    struct Case {
        int width, height;
        const char* rate;
        bool ownList, ownRow;
        const char* timing;
    } cases[] = {
        {1024, 768, "85", true, true, "85 Hz"},
        {800, 600, "160", true, true, "160 Hz"},
        // No list of its own: 640x480's, and the timings of the width's row, made for 1280 x 1024.
        {1280, 960, "120", false, false, "1280 x 1024's 100 Hz timing"},
        {1024, 600, "75", false, false, "1024 x 768's 75 Hz timing"},
    };
    for (const Case& c : cases) {
        Screen s = At(c.width, c.height, c.rate);
        EXPECT_EQ(HasOwnList(&s.state) != 0, c.ownList) << c.width << "x" << c.height;
        EXPECT_EQ(HasOwnRow(&s.state, s.row) != 0, c.ownRow) << c.width << "x" << c.height;
        EXPECT_EQ(Said([&](char* t) { PutTiming(t, &s.state, s.row); }), c.timing);
    }
}

TEST(Words, StoredRatesShownAsTheyAre) {
    struct Case {
        const char* text;
        int most;
        const char* shown;
    } cases[] = {
        {"85", 40, "\"85\""},
        {"", 40, "\"\""},
        {" 85", 40, "\" 85\""},
        {"8\t5", 40, "\"8\\x095\""},
        {"\"85\"\\", 40, "\"\\\"85\\\"\\\\\""},
        {"\xE9", 40, "\"\\xE9\""},
        {"123456", 4, "\"1234...\""},
        {"1234", 4, "\"1234\""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Said([&](char* t) { PutStoredRate(t, c.text, c.most); }), c.shown) << c.text;
    }
}

// A path shows unquoted: its backslashes and a quote as they are, a byte outside printable ASCII as
// \xNN. Each text tells the escapes it shows, as quoted or not, within its first `most` bytes, so
// that a report explains an escape only where one stands.
TEST(Words, PathsShownAndTheEscapesTheyHold) {
    struct Case {
        const char* text;
        const char* path; // as PutPath shows it
        unsigned quotedEscapes, pathEscapes;
    } cases[] = {
        {"C:\\WINDOWS\\system.ini", "C:\\WINDOWS\\system.ini", kEscapeBackslash, 0},
        {"C:\\WIN\xE9", "C:\\WIN\\xE9", kEscapeBackslash | kEscapeHex, kEscapeHex},
        {"85", "85", 0, 0},
        {"8\"5", "8\"5", kEscapeBackslash, 0},
        {"7\t5", "7\\x095", kEscapeHex, kEscapeHex},
        {"", "", 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Said([&](char* t) { PutPath(t, c.text); }), c.path) << c.text;
        EXPECT_EQ(EscapesShown(c.text, 40, 1), c.quotedEscapes) << c.text;
        EXPECT_EQ(EscapesShown(c.text, 40, 0), c.pathEscapes) << c.text;
    }
    // Only the bytes a line shows count.
    EXPECT_EQ(EscapesShown("85\t", 2, 1), 0u);
    EXPECT_EQ(EscapesShown("85\t", 3, 1), unsigned{kEscapeHex});
}

TEST(Words, MappingDriverAnswersWithTheStepToTake) {
    struct Case {
        VxdAnswer answer;
        DWORD error;
        const char* words;
    } cases[] = {
        {kVxdWindow, 0, "PHYSWIN.VXD gives the adapter's register window"},
        {kVxdDoesNotOpen, ERROR_FILE_NOT_FOUND,
         "PHYSWIN.VXD does not open (error 2: the file is missing): " REINSTALL_DRIVER_TEXT},
        {kVxdDoesNotOpen, ERROR_ACCESS_DENIED, "PHYSWIN.VXD does not open (error 5): " REINSTALL_DRIVER_TEXT},
        {kVxdDoesNotOpen, ERROR_NOT_SUPPORTED,
         "PHYSWIN.VXD cannot be asked (error 50): this Windows has no DeviceIoControl for it; LUMRATE is "
         "made for Windows 95 and 98"},
        {kVxdCallFails, 0,
         "PHYSWIN.VXD opens but does not map the adapter's registers: restart Windows; if it stays "
         "so, " REINSTALL_DRIVER_TEXT},
        {kVxdAddressZero, 0,
         "PHYSWIN.VXD answers with address 0, no register window: " REINSTALL_DRIVER_TEXT},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Said([&](char* t) { PutVxdAnswer(t, c.answer, c.error); }), c.words);
    }
}

MonitorLimits Limits(MonitorLimitSource source, unsigned known, DWORD hMin, DWORD hMax, DWORD vMin,
                     DWORD vMax) {
    MonitorLimits l{};
    l.finding            = kMonitorFound;
    l.source             = source;
    l.known              = known;
    l.horizontalMinHz    = hMin;
    l.horizontalMaxHz    = hMax;
    l.verticalMinMilliHz = vMin;
    l.verticalMaxMilliHz = vMax;
    l.modesWidth         = 1024;
    l.modesHeight        = 768;
    return l;
}

TEST(Words, MonitorLimitsAndWhereTheyComeFrom) {
    const unsigned kHV  = kKnownHorizontal | kKnownVertical;
    MonitorLimits modes = Limits(kLimitsFromModes, kHV, 31000, 64000, 50000, 100000);
    EXPECT_EQ(Said([&](char* t) { PutMonitorLimits(t, &modes, 1024, 768); }),
              "The monitor takes 31.0-64.0 kHz and 50-100 Hz at 1024 x 768, says its setup information.");
    MonitorLimits edid = Limits(kLimitsFromEdid, kHV | kKnownResolution, 30000, 70000, 50000, 120000);
    edid.maxWidth      = 1280;
    edid.maxHeight     = 1024;
    EXPECT_EQ(Said([&](char* t) { PutMonitorLimits(t, &edid, 1024, 768); }),
              "The monitor takes 30.0-70.0 kHz and 50-120 Hz, says the monitor itself (EDID). Its largest "
              "screen: 1280 x 1024.");
    MonitorLimits maximum = Limits(kLimitsFromModes, kKnownHorizontal, 0, 64000, 0, 0);
    EXPECT_EQ(Said([&](char* t) { PutMonitorLimits(t, &maximum, 1024, 768); }),
              "The monitor takes up to 64.0 kHz at 1024 x 768, says its setup information.");
    MonitorLimits odd = Limits(kLimitsFromModes, kKnownVertical, 0, 0, 59940, 72809);
    EXPECT_EQ(Said([&](char* t) { PutMonitorLimits(t, &odd, 1024, 768); }),
              "The monitor takes 59.9-72.8 Hz at 1024 x 768, says its setup information.");

    const std::string step =
        " Where you know it, choose the monitor in Display Properties, Settings, Advanced, Monitor.";
    struct Unknown {
        MonitorFinding finding;
        unsigned refused;
        std::string why;
    } unknown[] = {
        {kNoDeviceList, 0, "Windows lists no devices here."},
        {kNoMonitorPresent, 0, "Windows lists no monitor."},
        {kSeveralMonitorsPresent, 0,
         "Windows lists several monitors and does not say which shows this picture."},
        {kMonitorWithoutClassKey, 0, "the monitor has no setup information."},
        {kMonitorFound, 0, "its setup information gives none for 800 x 600."},
        {kMonitorFound, kValueMode1, "what it says of them cannot be read."},
    };
    for (const Unknown& u : unknown) {
        MonitorLimits l = Limits(kLimitsFromNowhere, 0, 0, 0, 0, 0);
        l.finding       = u.finding;
        l.refused       = u.refused;
        EXPECT_EQ(Said([&](char* t) { PutMonitorLimits(t, &l, 800, 600); }),
                  "The monitor's limits are not known: " + u.why + step);
    }
}

TEST(Words, WhyATimingIsBeyondTheMonitor) {
    const unsigned kHV     = kKnownHorizontal | kKnownVertical;
    MonitorLimits modes    = Limits(kLimitsFromModes, kHV | kKnownResolution, 31000, 64000, 50000, 75000);
    modes.maxWidth         = 1024;
    modes.maxHeight        = 768;
    Screen s               = At(1024, 768, "85");
    const std::string line = Said([&](char* t) { PutKilohertz(t, LineFrequency(s.row, s.state.rateIndex)); });
    EXPECT_EQ(Said([&](char* t) { PutBeyondMonitor(t, kBeyondHorizontal, &modes, &s.state, s.row); }),
              "85 Hz needs " + line + "; the monitor takes 31.0-64.0 kHz, says its setup information");
    EXPECT_EQ(Said([&](char* t) { PutBeyondMonitor(t, kBeyondVertical, &modes, &s.state, s.row); }),
              "85 Hz is outside the monitor's 50-75 Hz, says its setup information");
    Screen big = At(1280, 1024, "85");
    EXPECT_EQ(
        Said([&](char* t) { PutBeyondMonitor(t, kBeyondResolution, &modes, &big.state, big.row); }),
        "1280 x 1024 is larger than the monitor's largest screen, 1024 x 768, says its setup information");
    MonitorLimits edid = Limits(kLimitsFromEdid, kKnownHorizontal, 0, 64000, 0, 0);
    Screen borrowed    = At(1280, 960, "120");
    const std::string borrowedLine =
        Said([&](char* t) { PutKilohertz(t, LineFrequency(borrowed.row, borrowed.state.rateIndex)); });
    EXPECT_EQ(
        Said([&](char* t) { PutBeyondMonitor(t, kBeyondHorizontal, &edid, &borrowed.state, borrowed.row); }),
        "1280 x 1024's 100 Hz timing needs " + borrowedLine +
            "; the monitor takes up to 64.0 kHz, says the monitor itself (EDID)");
    for (MonitorVerdict v : {kWithinMonitor, kMonitorUnknown}) {
        EXPECT_EQ(Said([&](char* t) { PutBeyondMonitor(t, v, &modes, &s.state, s.row); }), "");
    }
}

} // namespace
