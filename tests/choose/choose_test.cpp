// The rate chooser on the host stand-in: what it makes of a machine, the rates it offers (asked of
// the selection), and the trial: read back, the utility's own writes, and every way out, started
// from register values that no table holds, so that a write-back that writes table values or skips
// a register is caught.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/adapter_lock.h"
#include "common/display_events.h"
#include "common/names.h"
#include "choose/choose.h"
#include "hw/vga.h"
#include "machine.h"
#include "simulator.h"
#include "tests/support/fixtures.h"
#include "tests/support/monitor.h"
#include "tests/support/process.h"
#include "tests/support/timings_held.h"
#include "timing/line_frequency.h"

namespace {

void StartFreshChooser() {
    support::StartFreshProcess();
    std::memset(&chooser, 0, sizeof chooser);
}

std::vector<std::string> Rates() {
    std::vector<std::string> rates;
    for (int i = 0; i < chooser.rateCount; ++i) {
        rates.push_back(chooser.rates[i].rate);
    }
    return rates;
}

// The adapter as a trial finds it (tests/fixtures/registers_unlike_every_table.txt), CRTC 0x11 with
// its protect bit as given.
void SetUnlikeEveryTable(adapter::Adapter& a, uint8_t crtc11) {
    support::SetUnlikeEveryTable(a);
    a.crtc[VGA_CRTC_V_SYNC_END] = crtc11;
}

// What the chooser makes of a machine: why no rate can be tried, in the window's words, and the
// rates it offers.
TEST(Chooser, WhatItMakesOfAMachine) {
    const std::vector<std::string> all = {"60", "75", "85", "100", "120"};
    struct Case {
        const char* name;
        void (*set)(host::Machine&);
        Hindrance hindrance;
        const char* note;
        std::vector<std::string> rates;
    } cases[] = {
        {"typical", [](host::Machine&) {}, kNoHindrance, "", all},
        {"1152x864",
         [](host::Machine& m) { m.screenWidth = 1152, m.screenHeight = 864; },
         kNoHindrance,
         "",
         {"60", "75", "85"}},
        {"1600x1200",
         [](host::Machine& m) { m.screenWidth = 1600, m.screenHeight = 1200; },
         kNoHindrance,
         "",
         {"60", "75"}},
        // 640x480's list with the 1280 row: 160 Hz has no timing there.
        {"1280x960",
         [](host::Machine& m) { m.screenWidth = 1280, m.screenHeight = 960; },
         kNoHindrance,
         "1280 x 960 has no rates of its own: the list is 640 x 480's, the timings 1280 x 1024's.",
         {"60", "75", "85", "120"}},
        {"720x480",
         [](host::Machine& m) { m.screenWidth = 720, m.screenHeight = 480; },
         kNoTimingAtScreen,
         "The tables hold no timing for 720 x 480: LUMRATE changes nothing at it.",
         {}},
        {"no system.ini", [](host::Machine& m) { m.files.clear(); }, kNoSystemIni,
         "SYSTEM.INI does not open: LUMRATE changes nothing here.", all},
        {"another driver",
         [](host::Machine& m) {
             m.files[host::SystemIniPath()].bytes = "[boot.description]\ndisplay.drv=VGA\n";
         },
         kNotServed,
         "SYSTEM.INI has no line \"display.drv=Lumarel series\" after [boot.description]: LUMRATE changes "
         "nothing here. LUMCHECK tells why.",
         all},
        {"skip bit", [](host::Machine& m) { m.adapter.crtc[EXT_CRTC_75] = EXT_CRTC_75_SKIP; }, kSkipBitSet,
         "The skip bit is set: bit 5 of the adapter's extended register 75h, which the adapter's own setup "
         "sets, asks LUMRATE to leave its timing alone. LUMRATE changes nothing.",
         all},
        // The tables hold timings for these depths; the utility stops before it asks them.
        {"no display context", [](host::Machine& m) { m.displayDcFails = true; }, kColoursUnknown,
         "The display could not be asked for its colors: LUMRATE changes nothing.", all},
        {"16 colours", [](host::Machine& m) { m.bitsPerPixel = 4; }, kSixteenColours,
         "At 16 colors or fewer (as in Safe Mode) LUMRATE changes nothing.", all},
        {"32 bit",
         [](host::Machine& m) { m.bitsPerPixel = 32; },
         kTooManyColours,
         "At True Color (32 bit) LUMRATE changes nothing: its tables go up to 24 bits per pixel.",
         {}},
        {"25 bit",
         [](host::Machine& m) { m.bitsPerPixel = 25; },
         kTooManyColours,
         "At 25 bits per pixel LUMRATE changes nothing: its tables go up to 24 bits per pixel.",
         {}},
        {"no mapping driver", [](host::Machine& m) { m.driver = host::DriverBehaviour::Missing; },
         kNoRegisterWindow,
         "PHYSWIN.VXD does not open (error 2: the file is missing): install the adapter's display driver "
         "package again. No rate can be tried here: without the window a trial would be partial.",
         all},
        {"address 0", [](host::Machine& m) { m.driver = host::DriverBehaviour::NullWindow; },
         kNoRegisterWindow,
         "PHYSWIN.VXD answers with address 0, no register window: install the adapter's display driver "
         "package again. No rate can be tried here: without the window a trial would be partial.",
         all},
    };
    for (const Case& c : cases) {
        StartFreshChooser();
        host::Machine& m = host::TheMachine();
        c.set(m);
        adapter::Adapter before = m.adapter;
        GatherChooserFacts();
        EXPECT_EQ(chooser.hindrance, c.hindrance) << c.name;
        char text[kSentenceSize];
        DescribeHindrance(text);
        EXPECT_STREQ(text, c.note) << c.name;
        EXPECT_EQ(Rates(), c.rates) << c.name;
        // Each offered rate is one the selection gives a timing for, asked of it.
        for (const std::string& rate : Rates()) {
            DisplayState state = support::MakeDisplayState(m.screenWidth, m.screenHeight, 16, rate.c_str());
            TimingSelection selection;
            EXPECT_EQ(SelectTiming(&state, &selection), kTimingSelected) << c.name << " " << rate;
        }
        // Gathering changes nothing: the skip-bit read's index goes back as it was found.
        EXPECT_TRUE(adapter::ChangedRegisters(before, m.adapter).empty()) << c.name;
        bool served = c.hindrance != kNoSystemIni && c.hindrance != kNotServed;
        EXPECT_EQ(m.adapter.trace.size(), served ? 4u : 0u) << c.name;
    }
}

// The timings of the tables the adapter holds after a run; none where the run set no timing.
std::vector<std::pair<TableRow, RateIndex>> TimingsHeld(const adapter::Adapter& a) {
    return support::TimingsHeld(
        [&a](bool extended, int index) { return int{extended ? a.ext[index] : a.crtc[index]}; });
}

// How a user must be told a timing of the tables at a screen: its rate, and the size it is made
// for where that is not the screen's.
std::string TimingWords(TableRow row, RateIndex rate, int width, int height) {
    std::string hz = std::to_string(RateOfEntry(RateTable[row][rate])) + " Hz";
    if (ResolutionTable[row][0] == width && ResolutionTable[row][1] == height) {
        return hz;
    }
    return std::to_string(ResolutionTable[row][0]) + " x " + std::to_string(ResolutionTable[row][1]) + "'s " +
           hz + " timing";
}

// What LUMRATE's own run did on the machine as it stands, from registers no table holds: the
// timings the adapter then holds (none: it set none), and whether it stored into the window.
struct UtilityRun {
    std::vector<std::pair<TableRow, RateIndex>> timings;
    bool window = false;
};
UtilityRun RunTheUtility() {
    host::Machine saved = host::TheMachine();
    support::SetUnlikeEveryTable(host::TheMachine().adapter);
    sim::RunResult result = sim::RunPrepared();
    UtilityRun run;
    run.timings = TimingsHeld(result.finalAdapter);
    for (const adapter::Access& a : result.accesses) {
        run.window = run.window || a.op == adapter::Op::Store;
    }
    host::TheMachine() = saved;
    sim::ResetProcessState();
    return run;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Every sentence of the window against what LUMRATE's run does on the same machine: it says LUMRATE
// sets a timing only where the run sets one, names the timing the adapter then holds, says "not the
// memory-mapped one" only where the run writes no window byte, and says LUMRATE changes nothing
// where it does; each listed rate names the timing the run sets with that rate stored.
TEST(Chooser, EverySentenceAgainstWhatTheRunDoes) {
    using Set       = void (*)(host::Machine&);
    const Set kAsIs = [](host::Machine&) {};
    struct Screen {
        const char* name;
        Set set;
    } screens[] = {
        {"1024x768", kAsIs},
        {"1280x960", [](host::Machine& m) { m.screenWidth = 1280, m.screenHeight = 960; }},
        {"1024x600", [](host::Machine& m) { m.screenWidth = 1024, m.screenHeight = 600; }},
        {"1600x1200", [](host::Machine& m) { m.screenWidth = 1600, m.screenHeight = 1200; }},
        {"720x480", [](host::Machine& m) { m.screenWidth = 720, m.screenHeight = 480; }},
        {"800x600, 8 bit",
         [](host::Machine& m) { m.screenWidth = 800, m.screenHeight = 600, m.bitsPerPixel = 8; }},
        {"no system.ini", [](host::Machine& m) { m.files.clear(); }},
        {"another driver",
         [](host::Machine& m) {
             m.files[host::SystemIniPath()].bytes = "[boot.description]\ndisplay.drv=VGA\n";
         }},
        {"skip bit", [](host::Machine& m) { m.adapter.crtc[EXT_CRTC_75] = EXT_CRTC_75_SKIP; }},
        {"colors unknown", [](host::Machine& m) { m.displayDcFails = true; }},
        {"4 bit", [](host::Machine& m) { m.bitsPerPixel = 4; }},
        {"1 bit", [](host::Machine& m) { m.bitsPerPixel = 1; }},
        {"5 bit", [](host::Machine& m) { m.bitsPerPixel = 5; }},
        {"15 bit", [](host::Machine& m) { m.bitsPerPixel = 15; }},
        {"24 bit", [](host::Machine& m) { m.bitsPerPixel = 24; }},
        {"25 bit", [](host::Machine& m) { m.bitsPerPixel = 25; }},
        {"32 bit", [](host::Machine& m) { m.bitsPerPixel = 32; }},
        {"no mapping driver", [](host::Machine& m) { m.driver = host::DriverBehaviour::Missing; }},
        {"address 0", [](host::Machine& m) { m.driver = host::DriverBehaviour::NullWindow; }},
    };
    struct Stored {
        const char* name;
        std::optional<std::string> value; // nullopt: no RefreshRate value
        bool key;
        const char* shown; // how the window quotes it; 0 where there is no text to quote
    } rates[] = {
        {"85", std::string("85", 3), true, "Stored rate: \"85\"."},
        {"850", std::string("850", 4), true, "Stored rate: \"850\"."},
        {"72", std::string("72", 3), true, "Stored rate: \"72\"."},
        {"blank-led", std::string(" 85", 4), true, "Stored rate: \" 85\"."},
        {"empty", std::string("", 1), true, "Stored rate: \"\"."},
        {"tab", std::string("8\t5", 4), true, "Stored rate: \"8\\x095\"."},
        {"too long", std::string(300, '8'), true, "A rate is stored, too long for LUMRATE to read."},
        {"no value", std::nullopt, true, "No rate is stored."},
        {"no key", std::nullopt, false, "No rate is stored: Windows keeps no display settings here."},
    };
    for (const Screen& screen : screens) {
        for (const Stored& rate : rates) {
            SCOPED_TRACE(std::string(screen.name) + ", " + rate.name);
            StartFreshChooser();
            host::Machine& m = host::TheMachine();
            screen.set(m);
            m.settingsKeyExists = rate.key;
            m.refreshRate.reset();
            if (rate.value) {
                m.refreshRate = host::RegistryValue{REG_SZ, *rate.value};
            }
            GatherChooserFacts();
            const UtilityRun run = RunTheUtility();
            char text[kSentenceSize];
            DescribeStoredRate(text);
            const std::string stored = text;
            DescribeHindrance(text);
            const std::string note = text;

            EXPECT_EQ(stored.rfind(rate.shown, 0), 0u) << stored;
            EXPECT_EQ(Contains(stored, "LUMRATE sets "), !run.timings.empty()) << stored;
            EXPECT_EQ(Contains(stored + note, "nothing"), run.timings.empty()) << stored << " / " << note;
            if (!run.timings.empty()) {
                bool named = false;
                for (const auto& [row, index] : run.timings) {
                    named = named || Contains(stored, "sets " + TimingWords(row, index, m.screenWidth,
                                                                            m.screenHeight));
                }
                EXPECT_TRUE(named) << stored;
                EXPECT_EQ(Contains(stored, "not the memory-mapped one"), !run.window) << stored;
            }
            const bool borrowed = (m.screenWidth != 1024 || m.screenHeight != 768) &&
                                  ClassifyResolution(m.screenWidth, m.screenHeight) == 0 &&
                                  !(m.screenWidth == 640 && m.screenHeight == 480);
            EXPECT_EQ(Contains(note, "has no rates of its own"),
                      borrowed && chooser.hindrance == kNoHindrance)
                << note;
        }

        // Each rate of the list names the timing the run sets with it stored, and its line frequency.
        StartFreshChooser();
        screen.set(host::TheMachine());
        GatherChooserFacts();
        for (int i = 0; i < chooser.rateCount; ++i) {
            const ListedRate& listed = chooser.rates[i];
            SCOPED_TRACE(std::string(screen.name) + ", listed " + listed.rate);
            host::TheMachine().refreshRate = host::RegistryValue{REG_SZ, std::string(listed.rate) + '\0'};
            const UtilityRun run           = RunTheUtility();
            char text[kSentenceSize];
            DescribeListedRate(&listed, text);
            if (chooser.hindrance == kNoHindrance) {
                ASSERT_FALSE(run.timings.empty());
                bool named = false;
                for (const auto& [row, index] : run.timings) {
                    const std::string words = TimingWords(row, index, host::TheMachine().screenWidth,
                                                          host::TheMachine().screenHeight);
                    named                   = named || std::string(text).rfind(words + " (", 0) == 0;
                }
                EXPECT_TRUE(named) << text;
                EXPECT_TRUE(Contains(text, " kHz)")) << text;
                EXPECT_FALSE(Contains(text, "beyond")) << text; // no monitor known
            }
        }
    }
}

TEST(Chooser, TheScreenInDisplayPropertiesWords) {
    const struct {
        int bits;
        const char* screen;
    } cases[] = {
        {4, "The screen: 1024 x 768, 16 Colors."},
        {16, "The screen: 1024 x 768, High Color (16 bit)."},
        {32, "The screen: 1024 x 768, True Color (32 bit)."},
        {25, "The screen: 1024 x 768, 25 bits per pixel."},
    };
    for (const auto& c : cases) {
        StartFreshChooser();
        host::TheMachine().bitsPerPixel = c.bits;
        GatherChooserFacts();
        char text[kSentenceSize];
        DescribeScreen(text);
        EXPECT_STREQ(text, c.screen);
    }
    StartFreshChooser();
    host::TheMachine().displayDcFails = true;
    GatherChooserFacts();
    char text[kSentenceSize];
    DescribeScreen(text);
    EXPECT_STREQ(text, "The screen: 1024 x 768, colors unknown.");
}

// The utility's own registers for a machine with this rate stored: its run, from the same start.
adapter::Adapter UtilityLeaves(const adapter::Adapter& start, const char* rate) {
    host::Machine saved            = host::TheMachine();
    host::TheMachine().adapter     = start;
    host::TheMachine().refreshRate = host::RegistryValue{REG_SZ, std::string(rate) + '\0'};
    sim::RunPrepared();
    adapter::Adapter left = host::TheMachine().adapter;
    host::TheMachine()    = saved;
    return left;
}

class Trial : public ::testing::TestWithParam<uint8_t> {
  protected:
    void SetUp() override {
        StartFreshChooser();
        SetUnlikeEveryTable(host::TheMachine().adapter, GetParam());
        start_ = host::TheMachine().adapter;
        GatherChooserFacts();
        ASSERT_EQ(chooser.hindrance, kNoHindrance);
        host::TheMachine().refreshRate = host::RegistryValue{REG_SZ, std::string("60", 3)};
        gathered_                      = host::TheMachine().adapter.trace.size();
        ASSERT_EQ(StartTrial("85"), kTrialStarted);
        tried_ = host::TheMachine().adapter;
    }
    adapter::Adapter start_, tried_;
    size_t gathered_ = 0;
};

// The trial writes what the utility writes for the rate; while it goes on the watcher sees its mutex.
TEST_P(Trial, WritesWhatTheUtilityWrites) {
    host::Machine& m         = host::TheMachine();
    adapter::Adapter utility = UtilityLeaves(start_, "85");
    EXPECT_TRUE(adapter::ChangedRegisters(utility, tried_).empty())
        << testing::PrintToString(adapter::ChangedRegisters(utility, tried_));
    EXPECT_EQ(m.mutexHolders[ADAPTER_LOCK_NAME].here, 1); // held through the trial
    EXPECT_EQ(m.refreshRate->data, std::string("60", 3));
}

TEST_P(Trial, GoingBackPutsEveryRegisterBack) {
    host::Machine& m = host::TheMachine();
    EXPECT_EQ(EndTrial(kTrialWentBack), kTrialWentBack);
    EXPECT_TRUE(adapter::ChangedRegisters(start_, m.adapter).empty())
        << testing::PrintToString(adapter::ChangedRegisters(start_, m.adapter));
    char text[kSentenceSize];
    DescribeTrialEnd(text);
    EXPECT_STREQ(text, "85 Hz was not kept: the timing is back as it was.");
    EXPECT_EQ(m.refreshRate->data, std::string("60", 3));
    EXPECT_EQ(m.mutexHolders[ADAPTER_LOCK_NAME].here, 0);
    EXPECT_EQ(EndTrial(kTrialWentBack), kTrialOn); // no trial now: nothing more happens
    EXPECT_TRUE(adapter::ChangedRegisters(start_, m.adapter).empty());
}

TEST_P(Trial, KeepStoresTheRateAndWritesNothingBack) {
    host::Machine& m = host::TheMachine();
    size_t before    = m.adapter.trace.size();
    EXPECT_EQ(EndTrial(kTrialKept), kTrialKept);
    EXPECT_EQ(m.adapter.trace.size(), before);
    ASSERT_TRUE(m.refreshRate);
    EXPECT_EQ(m.refreshRate->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(m.refreshRate->data, std::string("85", 3));
    char text[kSentenceSize];
    DescribeTrialEnd(text);
    EXPECT_STREQ(text, "Kept: \"85\" is stored, and LUMRATE sets 85 Hz at this screen whenever it runs.");
}

// A rate that cannot be stored may not stay on the screen either.
TEST_P(Trial, KeepThatCannotStoreGoesBack) {
    host::Machine& m     = host::TheMachine();
    m.registryWritesFail = true;
    EXPECT_EQ(EndTrial(kTrialKept), kTrialNotStored);
    EXPECT_TRUE(adapter::ChangedRegisters(start_, m.adapter).empty());
    char text[kSentenceSize];
    DescribeTrialEnd(text);
    EXPECT_STREQ(text, "Keep failed: \"85\" could not be stored, and the timing is back as it was.");
}

// Where Windows keeps no display settings, Keep makes the key; where that cannot be done either,
// nothing is stored and the rate goes back.
TEST(Chooser, KeepWithoutTheSettingsKey) {
    for (bool writesFail : {false, true}) {
        SCOPED_TRACE(writesFail ? "the key cannot be made" : "the key is made");
        StartFreshChooser();
        host::Machine& m = host::TheMachine();
        support::SetUnlikeEveryTable(m.adapter);
        m.settingsKeyExists = false;
        m.refreshRate.reset();
        const adapter::Adapter start = m.adapter;
        GatherChooserFacts();
        ASSERT_EQ(StartTrial("85"), kTrialStarted);
        m.registryWritesFail = writesFail;
        EXPECT_EQ(EndTrial(kTrialKept), writesFail ? kTrialNotStored : kTrialKept);
        EXPECT_EQ(m.settingsKeyExists, !writesFail);
        EXPECT_EQ(m.refreshRate.has_value(), !writesFail);
        EXPECT_EQ(adapter::ChangedRegisters(start, m.adapter).empty(), writesFail);
    }
}

// Windows set the display anew: what was read belongs to another mode, so nothing is written back.
TEST_P(Trial, AModeChangeWritesNothingBack) {
    host::Machine& m = host::TheMachine();
    size_t before    = m.adapter.trace.size();
    EXPECT_EQ(EndTrial(kTrialModeChanged), kTrialModeChanged);
    EXPECT_EQ(m.adapter.trace.size(), before);
    EXPECT_EQ(m.refreshRate->data, std::string("60", 3));
    EXPECT_EQ(m.mutexHolders[ADAPTER_LOCK_NAME].here, 0);
}

TEST_P(Trial, TheQuestionNamesTheRate) {
    char text[kSentenceSize];
    DescribeQuestion(text);
    EXPECT_STREQ(text, "Keep 85 Hz?");
    DescribeOtherSizes(text);
    EXPECT_STREQ(text, ""); // no monitor limits known
}

INSTANTIATE_TEST_SUITE_P(Crtc11, Trial, ::testing::Values(0x8E, 0x0E)); // protect bit set, clear

// Only index writes (the skip-bit read's, put back): no register, latch or window byte changed.
void ExpectNothingWritten(const adapter::Adapter& before, const char* name) {
    const adapter::Adapter& now = host::TheMachine().adapter;
    EXPECT_TRUE(adapter::ChangedRegisters(before, now).empty()) << name;
    for (size_t i = before.trace.size(); i < now.trace.size(); ++i) {
        const adapter::Access& a = now.trace[i];
        EXPECT_FALSE(a.op == adapter::Op::Store ||
                     (a.op == adapter::Op::Out && a.where != VGA_CRT_IC && a.where != EXT_IC))
            << name << ": access " << i;
    }
    EXPECT_EQ(host::TheMachine().mutexHolders[ADAPTER_LOCK_NAME].here, 0) << name << ": the lock let go";
}

// Where the utility would not act, or the window cannot be had, a trial writes nothing at all; it
// decides again with the lock, as the window may show a machine that has changed since.
TEST(Chooser, NoTrialWhereTheUtilityWouldNotAct) {
    const struct {
        const char* name;
        void (*set)(host::Machine&);
        Hindrance hindrance;
    } cases[] = {
        {"32 bit", [](host::Machine& m) { m.bitsPerPixel = 32; }, kTooManyColours},
        {"no window", [](host::Machine& m) { m.driver = host::DriverBehaviour::IoctlFails; },
         kNoRegisterWindow},
        {"skip bit", [](host::Machine& m) { m.adapter.crtc[EXT_CRTC_75] = 0xFF; }, kSkipBitSet},
    };
    for (const auto& c : cases) {
        for (bool before : {true, false}) {
            StartFreshChooser();
            if (before) {
                c.set(host::TheMachine());
            }
            GatherChooserFacts();
            c.set(host::TheMachine()); // or only since the window looked
            const adapter::Adapter start = host::TheMachine().adapter;
            EXPECT_EQ(StartTrial("85"), kTrialRefused) << c.name;
            EXPECT_EQ(chooser.hindrance, c.hindrance) << c.name;
            EXPECT_FALSE(chooser.trialOn) << c.name;
            ExpectNothingWritten(start, c.name);
        }
    }
}

// Another writer at the adapter: neither the look nor the trial touches it, not even the skip bit,
// and the window says the adapter is busy. A holder that ended without letting go may have left its
// timing: the watcher is asked to put a known one back, and the chooser waits its turn.
TEST(Chooser, NothingWhileAnotherHoldsTheAdapter) {
    for (bool abandoned : {false, true}) {
        SCOPED_TRACE(abandoned ? "abandoned" : "held");
        StartFreshChooser();
        host::Machine& m                   = host::TheMachine();
        HWND watcher                       = reinterpret_cast<HWND>(0x7700);
        m.otherWindows[WATCHER_CLASS_NAME] = watcher;
        auto& holder                       = m.mutexHolders[ADAPTER_LOCK_NAME];
        holder.elsewhere                   = !abandoned;
        holder.abandoned                   = abandoned;
        GatherChooserFacts();
        EXPECT_EQ(chooser.hindrance, kAdapterBusy);
        char text[kSentenceSize];
        DescribeHindrance(text);
        EXPECT_STREQ(text, "Another program of this package is at the adapter. Looking again in a moment.");
        EXPECT_TRUE(m.adapter.trace.empty());
        EXPECT_EQ(Rates(), (std::vector<std::string>{"60", "75", "85", "100", "120"})); // shown all the same
        EXPECT_EQ(holder.here, 0);
        EXPECT_EQ(m.postedMessages.size(), abandoned ? 1u : 0u);
        if (abandoned) {
            EXPECT_EQ(m.postedMessages[0].window, watcher);
            EXPECT_EQ(m.postedMessages[0].message, static_cast<UINT>(kWatchRunNow));
        }
        holder.elsewhere = true;
        EXPECT_EQ(StartTrial("85"), kTrialBusy);
        EXPECT_TRUE(m.adapter.trace.empty());
    }
}

// The trial tells the watcher it holds the lock, so that the watcher notices should the chooser end
// without letting it go; and every end lets it go.
TEST(Chooser, TheWatcherLearnsOfTheTrial) {
    StartFreshChooser();
    host::Machine& m                   = host::TheMachine();
    m.otherWindows[WATCHER_CLASS_NAME] = reinterpret_cast<HWND>(0x7700);
    GatherChooserFacts();
    ASSERT_EQ(StartTrial("85"), kTrialStarted);
    ASSERT_EQ(m.postedMessages.size(), 1u);
    EXPECT_EQ(m.postedMessages[0].message, static_cast<UINT>(kWatchTrialBegins));
    EXPECT_EQ(m.mutexHolders[ADAPTER_LOCK_NAME].here, 1);
    EXPECT_EQ(StartTrial("85"), kTrialRefused); // one at a time
    EXPECT_EQ(EndTrial(kTrialWentBack), kTrialWentBack);
    EXPECT_EQ(m.mutexHolders[ADAPTER_LOCK_NAME].here, 0);
}

// Messages at any moment: another mode set during the trial writes nothing back, the same mode set
// anew, a resume, a suspend about to come or the end of the session goes back; anything else, also
// a session that goes on, leaves the trial on.
TEST(Chooser, WhatAMessageMeansForTheTrial) {
    StartFreshChooser();
    GatherChooserFacts();
    ASSERT_EQ(StartTrial("85"), kTrialStarted);
    auto mode = [](int w, int h) { return static_cast<LPARAM>(h << 16 | w); };
    const struct {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        TrialEnd end;
    } cases[] = {
        {WM_DISPLAYCHANGE, 16, mode(1024, 768), kTrialWentBack},
        {WM_DISPLAYCHANGE, 16, mode(800, 600), kTrialModeChanged},
        {WM_DISPLAYCHANGE, 8, mode(1024, 768), kTrialModeChanged},
        {WM_DISPLAYCHANGE, 16, mode(1024, 600), kTrialModeChanged},
        {WM_POWERBROADCAST, 4, 0, kTrialWentBack},
        {WM_POWERBROADCAST, 6, 0, kTrialWentBack},
        {WM_POWERBROADCAST, 7, 0, kTrialWentBack},
        {WM_POWERBROADCAST, 8, 0, kTrialWentBack},
        {WM_POWERBROADCAST, 0x12, 0, kTrialWentBack},
        {WM_POWERBROADCAST, 0, 0, kTrialOn},
        {WM_POWERBROADCAST, 5, 0, kTrialOn},
        {WM_POWERBROADCAST, 0xA, 0, kTrialOn},
        {WM_ENDSESSION, TRUE, 0, kTrialWentBack},
        {WM_ENDSESSION, FALSE, 0, kTrialOn},
        {WM_TIMER, 1, 0, kTrialOn},
        {WM_COMMAND, 1, 0, kTrialOn},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TrialEndFor(c.message, c.wParam, c.lParam), c.end)
            << std::hex << c.message << " " << c.wParam;
    }
    EndTrial(kTrialWentBack);
    EXPECT_EQ(TrialEndFor(WM_DISPLAYCHANGE, 16, mode(800, 600)), kTrialOn); // no trial on
}

// A screen that borrows another size's timings: the question and the outcome name the timing that
// is really set.
TEST(Chooser, ABorrowedTimingIsNamedAsItIs) {
    StartFreshChooser();
    host::Machine& m = host::TheMachine();
    m.screenWidth = 1280, m.screenHeight = 960;
    GatherChooserFacts();
    ASSERT_EQ(StartTrial("120"), kTrialStarted);
    char text[kSentenceSize];
    DescribeQuestion(text);
    EXPECT_STREQ(text, "Keep 1280 x 1024's 100 Hz timing?");
    EndTrial(kTrialWentBack);
    DescribeTrialEnd(text);
    EXPECT_STREQ(text, "1280 x 1024's 100 Hz timing was not kept: the timing is back as it was.");
}

// The monitor's limits at this screen decide which rates can be tried: a timing beyond them is
// marked, says why, and is refused with nothing written; before Keep the window names the other
// sizes where the same stored rate is beyond the monitor.
TEST(Chooser, TheMonitorDecidesWhatCanBeTried) {
    StartFreshChooser();
    support::OneMonitor({{"1024,768", "31.0-64.0,50.0-100.0,+,+"},
                         {"1152,864", "31.0-64.0,50.0-100.0,+,+"},
                         {"1280,1024", "31.0-64.0,50.0-100.0,+,+"}});
    support::ClassKey("Monitor\\0000").SetString("MaxResolution", "1280,1024");
    GatherChooserFacts();
    char text[kSentenceSize];
    DescribeMonitor(text);
    EXPECT_STREQ(text,
                 "The monitor takes 31.0-64.0 kHz and 50-100 Hz at 1024 x 768, says its setup information. "
                 "Its largest screen: 1280 x 1024.");
    ASSERT_EQ(Rates(), (std::vector<std::string>{"60", "75", "85", "100", "120"}));
    for (int i = 0; i < chooser.rateCount; ++i) {
        const ListedRate& r = chooser.rates[i];
        const bool beyond   = LineFrequency(r.row, r.state.rateIndex) > 64000;
        EXPECT_EQ(IsBeyondMonitor(r.monitor), beyond) << r.rate;
        DescribeListedRate(&r, text);
        EXPECT_EQ(Contains(text, ", beyond the monitor"), beyond) << text;
        DescribeBeyond(&r, text);
        EXPECT_EQ(text[0] != 0, beyond) << r.rate;
    }
    DescribeListedRate(&chooser.rates[2], text);
    EXPECT_STREQ(text, "85 Hz (68.7 kHz), beyond the monitor");
    DescribeBeyond(&chooser.rates[2], text);
    EXPECT_STREQ(text, "85 Hz needs 68.7 kHz; the monitor takes 31.0-64.0 kHz, says its setup information. "
                       "LUMSET does not try it.");

    const adapter::Adapter start = host::TheMachine().adapter;
    EXPECT_EQ(StartTrial("85"), kTrialBeyondMonitor);
    EXPECT_FALSE(chooser.trialOn);
    ExpectNothingWritten(start, "85 Hz");

    ASSERT_EQ(StartTrial("75"), kTrialStarted);
    DescribeOtherSizes(text);
    // 75 Hz at 1152 x 864 needs more than 64 kHz; 1280 x 1024 has no 75 Hz and takes its 60 Hz,
    // within; 1600 x 1200 is larger than the largest screen; 800 x 600 has no limits known.
    EXPECT_STREQ(text, "Kept, \"75\" gives timings beyond the monitor at 1152 x 864 and 1600 x 1200: there "
                       "LUMWATCH starts no run of LUMRATE, and Windows' own rate stays.");
    EndTrial(kTrialWentBack);

    // Limits that arrive after the window looked still refuse the trial.
    StartFreshChooser();
    GatherChooserFacts();
    EXPECT_FALSE(IsBeyondMonitor(chooser.rates[2].monitor));
    support::OneMonitor({{"1024,768", "31.0-64.0,50.0-100.0,+,+"}});
    EXPECT_EQ(StartTrial("85"), kTrialBeyondMonitor);
    EXPECT_FALSE(chooser.trialOn);
}

// Where the package is installed (its Run value) but no watcher runs this session, the chooser
// starts one from its own folder; none where one runs (its window is there) or the package is not
// installed. A watcher still starting, its mutex taken but its window not yet made, is started
// again: the second ends at once.
TEST(Chooser, StartsAWatcherWhereNoneRuns) {
    const struct {
        const char* name;
        bool runValue, watcherRuns, watcherStarting, starts;
    } cases[] = {{"installed, none runs", true, false, false, true},
                 {"installed, one runs", true, true, false, false},
                 {"installed, one starting", true, false, true, true},
                 {"not installed", false, false, false, false}};
    for (const auto& c : cases) {
        StartFreshChooser();
        host::Machine& m = host::TheMachine();
        m.moduleFileName = "D:\\LUMAREL\\LUMSET.EXE";
        if (!c.runValue) {
            m.runValues.clear();
        }
        if (c.watcherRuns || c.watcherStarting) {
            m.namedMutexes.insert(WATCHER_MUTEX_NAME);
        }
        if (c.watcherRuns) {
            m.otherWindows[WATCHER_CLASS_NAME] = reinterpret_cast<HWND>(0x7700);
        }
        StartWatcherWhereMissing();
        ASSERT_EQ(m.startedProcesses.size(), c.starts ? 1u : 0u) << c.name;
        if (c.starts) {
            EXPECT_EQ(m.startedProcesses[0].application, "D:\\LUMAREL\\LUMWATCH.EXE") << c.name;
            EXPECT_FALSE(m.startedProcesses[0].commandLine) << c.name;
            EXPECT_TRUE(m.openObjects.empty()) << c.name;
        }
    }
}

// The way back: the stored rate forgotten, so the utility takes the first rate of the list; typed
// blind as a switch. Nothing to forget is told apart from a value that stays.
TEST(Chooser, ForgetsTheStoredRate) {
    StartFreshChooser();
    EXPECT_EQ(ForgetRate(), kForgotten);
    EXPECT_FALSE(host::TheMachine().refreshRate);
    EXPECT_EQ(ForgetRate(), kNothingToForget);
    host::TheMachine().settingsKeyExists = false;
    EXPECT_EQ(ForgetRate(), kNothingToForget);
    StartFreshChooser();
    host::TheMachine().registryWritesFail = true;
    EXPECT_EQ(ForgetRate(), kNotForgotten);
    EXPECT_TRUE(host::TheMachine().refreshRate);
    host::TheMachine().moduleFileName = "C:\\WINDOWS\\LUMSET.EXE";
    EXPECT_EQ(AsksToForget("LUMSET.EXE /forget"), 1);
    EXPECT_EQ(AsksToForget("LUMSET/FORGET"), 1); // as COMMAND.COM takes a switch, and LUMCHECK/? works
    EXPECT_EQ(AsksToForget("C:\\WINDOWS\\LUMSET.EXE"), 0);
    EXPECT_EQ(AsksToForget("LUMSET.EXE /FORGET 85"), 0);
}

} // namespace
