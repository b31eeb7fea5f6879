// The rate chooser on the host stand-in: what it makes of a machine, the rates it offers (asked of
// the selection), and the trial: read back, the utility's own writes, and every way out, started
// from register values that no table holds, so that a write-back that writes table values or skips
// a register is caught.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/adapter_lock.h"
#include "common/display_events.h"
#include "common/names.h"
#include "choose/choose.h"
#include "hw/vga.h"
#include "machine.h"
#include "simulator.h"
#include "tests/support/fixtures.h"
#include "tests/support/process.h"

namespace {

void StartFreshChooser() {
    support::StartFreshProcess();
    std::memset(&chooser, 0, sizeof chooser);
}

std::vector<std::string> Rates() {
    std::vector<std::string> rates;
    for (int i = 0; i < chooser.rateCount; ++i) {
        rates.push_back(chooser.rates[i]);
    }
    return rates;
}

// The adapter as a trial finds it (tests/fixtures/registers_unlike_every_table.txt), CRTC 0x11 with
// its protect bit as given.
void SetUnlikeEveryTable(adapter::Adapter& a, uint8_t crtc11) {
    support::SetUnlikeEveryTable(a);
    a.crtc[VGA_CRTC_V_SYNC_END] = crtc11;
}

TEST(Chooser, WhatItMakesOfAMachine) {
    struct Case {
        const char* name;
        void (*set)(host::Machine&);
        Hindrance hindrance;
        std::vector<std::string> rates;
    } cases[] = {
        {"typical", [](host::Machine&) {}, kNoHindrance, {"60", "75", "85", "100", "120"}},
        {"1152x864",
         [](host::Machine& m) { m.screenWidth = 1152, m.screenHeight = 864; },
         kNoHindrance,
         {"60", "75", "85"}},
        {"1600x1200",
         [](host::Machine& m) { m.screenWidth = 1600, m.screenHeight = 1200; },
         kNoHindrance,
         {"60", "75"}},
        // 640x480's list with the 1280 row: 160 Hz has no timing there.
        {"1280x960",
         [](host::Machine& m) { m.screenWidth = 1280, m.screenHeight = 960; },
         kNoHindrance,
         {"60", "75", "85", "120"}},
        {"720x480",
         [](host::Machine& m) { m.screenWidth = 720, m.screenHeight = 480; },
         kNoTimingAtScreen,
         {}},
        {"no system.ini",
         [](host::Machine& m) { m.files.clear(); },
         kNoSystemIni,
         {"60", "75", "85", "100", "120"}},
        {"another driver",
         [](host::Machine& m) {
             m.files[host::SystemIniPath()].bytes = "[boot.description]\ndisplay.drv=VGA\n";
         },
         kNotServed,
         {"60", "75", "85", "100", "120"}},
        {"skip bit",
         [](host::Machine& m) { m.adapter.crtc[EXT_CRTC_75] = EXT_CRTC_75_SKIP; },
         kSkipBitSet,
         {"60", "75", "85", "100", "120"}},
        // The tables hold timings for these depths; the utility stops before it asks them.
        {"no display context",
         [](host::Machine& m) { m.displayDcFails = true; },
         kColoursUnknown,
         {"60", "75", "85", "100", "120"}},
        {"16 colours",
         [](host::Machine& m) { m.bitsPerPixel = 4; },
         kSixteenColours,
         {"60", "75", "85", "100", "120"}},
        {"32 bit", [](host::Machine& m) { m.bitsPerPixel = 32; }, kTooManyColours, {}},
        {"no mapping driver",
         [](host::Machine& m) { m.driver = host::DriverBehaviour::Missing; },
         kNoRegisterWindow,
         {"60", "75", "85", "100", "120"}},
        {"address 0",
         [](host::Machine& m) { m.driver = host::DriverBehaviour::NullWindow; },
         kNoRegisterWindow,
         {"60", "75", "85", "100", "120"}},
    };
    for (const Case& c : cases) {
        StartFreshChooser();
        host::Machine& m = host::TheMachine();
        c.set(m);
        adapter::Adapter before = m.adapter;
        GatherChooserFacts();
        EXPECT_EQ(chooser.hindrance, c.hindrance) << c.name;
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

TEST(Chooser, SaysWhatTheUtilityMakesOfTheStoredRate) {
    struct Case {
        const char* name;
        std::optional<std::string> value; // nullopt: no RefreshRate value
        bool key;
        const char* want;
    } cases[] = {
        {"in the list", std::string("85", 3), true, "The stored rate: 85. LUMRATE sets 85 Hz."},
        {"not in the list", std::string("72", 3), true,
         "The stored rate: 72. It is not in the list: 60 Hz is used."},
        {"first two digits", std::string("125", 4), true,
         "The stored rate: 125. Only its first two digits count: 120 Hz is used."},
        {"no value", std::nullopt, true, "No rate is stored. LUMRATE sets 60 Hz."},
        {"no key", std::nullopt, false,
         "No rate is stored, and Windows keeps no display settings: LUMRATE sets nothing."},
    };
    for (const Case& c : cases) {
        StartFreshChooser();
        host::Machine& m    = host::TheMachine();
        m.settingsKeyExists = c.key;
        m.refreshRate.reset();
        if (c.value) {
            m.refreshRate = host::RegistryValue{REG_SZ, *c.value};
        }
        GatherChooserFacts();
        char text[kSentenceSize];
        DescribeStoredRate(text);
        EXPECT_STREQ(text, c.want) << c.name;
    }
}

TEST(Chooser, SaysTheScreenAndABorrowedList) {
    StartFreshChooser();
    host::Machine& m = host::TheMachine();
    m.screenWidth = 1280, m.screenHeight = 960, m.bitsPerPixel = 24;
    GatherChooserFacts();
    char text[kSentenceSize];
    DescribeScreen(text);
    EXPECT_STREQ(text, "The screen: 1280 x 960, True Color (24 bit).");
    DescribeHindrance(text);
    EXPECT_STREQ(
        text, "1280 x 960 has no rates of its own: these are 640 x 480's, with the timings of 1280 x 1024.");

    StartFreshChooser();
    host::TheMachine().bitsPerPixel = 4;
    GatherChooserFacts();
    DescribeScreen(text);
    EXPECT_STREQ(text, "The screen: 1024 x 768, 16 colours.");
    DescribeHindrance(text);
    EXPECT_STREQ(text, "At 16 colours (as in Safe Mode) LUMRATE changes nothing.");
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
}

// A rate that cannot be stored may not stay on the screen either.
TEST_P(Trial, KeepThatCannotStoreGoesBack) {
    host::Machine& m     = host::TheMachine();
    m.registryWritesFail = true;
    EXPECT_EQ(EndTrial(kTrialKept), kTrialNotStored);
    EXPECT_TRUE(adapter::ChangedRegisters(start_, m.adapter).empty());
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
// anew, a resume or a suspend about to come goes back; anything else leaves the trial on.
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

// Where the package is installed (its Run value) but no watcher runs this session, the chooser
// starts one from its own folder; none where one runs or the package is not installed.
TEST(Chooser, StartsAWatcherWhereNoneRuns) {
    const struct {
        const char* name;
        bool runValue, watcherRuns, starts;
    } cases[] = {{"installed, none runs", true, false, true},
                 {"installed, one runs", true, true, false},
                 {"not installed", false, false, false}};
    for (const auto& c : cases) {
        StartFreshChooser();
        host::Machine& m = host::TheMachine();
        m.moduleFileName = "D:\\LUMAREL\\LUMSET.EXE";
        if (!c.runValue) {
            m.runValues.clear();
        }
        if (c.watcherRuns) {
            m.namedMutexes.insert(WATCHER_MUTEX_NAME);
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

// The way back: the stored rate forgotten, so the utility sets 60 Hz; typed blind as a switch.
TEST(Chooser, ForgetsTheStoredRate) {
    StartFreshChooser();
    EXPECT_EQ(ForgetRate(), 1);
    EXPECT_FALSE(host::TheMachine().refreshRate);
    EXPECT_EQ(ForgetRate(), 1); // nothing left to forget is no failure
    host::TheMachine().settingsKeyExists = false;
    EXPECT_EQ(ForgetRate(), 0);
    host::TheMachine().moduleFileName = "C:\\WINDOWS\\LUMSET.EXE";
    EXPECT_EQ(AsksToForget("LUMSET.EXE /forget"), 1);
    EXPECT_EQ(AsksToForget("LUMSET/FORGET"), 1); // as COMMAND.COM takes a switch, and LUMCHECK/? works
    EXPECT_EQ(AsksToForget("C:\\WINDOWS\\LUMSET.EXE"), 0);
    EXPECT_EQ(AsksToForget("LUMSET.EXE /FORGET 85"), 0);
}

} // namespace
