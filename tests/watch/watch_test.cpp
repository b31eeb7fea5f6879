// The watcher on the host stand-in: which events arm its timer, how a burst of them becomes one run
// of the utility, that no run starts while another goes on, how it starts the utility, how it learns
// of a new rate, the removal and the deletion of its own file, and that it never touches the
// adapter. The stand-in's timers run on a clock the tests move.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "machine.h"
#include "common/adapter_lock.h"
#include "common/display_events.h"
#include "common/names.h"
#include "tests/support/process.h"
#include "watch/pending_delete.h"
#include "watch/watch.h"

namespace {

const HINSTANCE kInstance = reinterpret_cast<HINSTANCE>(0x00400000);

// Moves the clock on by `ms`, one millisecond at a time, and hands each timer that falls due to the
// window procedure, as the message loop would.
void Wait(uint64_t ms) {
    host::Machine& m = host::TheMachine();
    for (uint64_t end = m.clock + ms; m.clock < end;) {
        ++m.clock;
        for (auto it = m.timers.begin(); it != m.timers.end();) {
            UINT_PTR id        = it->first;
            host::Timer& timer = it->second;
            ++it;
            if (timer.due <= m.clock) {
                timer.due += timer.elapse;
                WatchWndProc(m.window, WM_TIMER, id, 0);
            }
        }
    }
}

size_t Started() {
    return host::TheMachine().startedProcesses.size();
}

void StartFreshWatcher() {
    support::StartFreshProcess();
    std::memset(&watchState, 0, sizeof watchState);
}

// A path of `length` characters on drive C: folders of 8.3 names, then `file`.
std::string PathOfLength(size_t length, const std::string& file) {
    std::string path = "C:";
    for (size_t room; (room = length - path.size() - 1 - file.size()) != 0;) {
        path += "\\" + std::string(room <= 9 ? room - 1 : std::min<size_t>(8, room - 3), 'D');
    }
    return path + "\\" + file;
}

// A watcher that has made its window and its run at the start of Windows: the runs a test counts
// come after that one.
class Watcher : public ::testing::Test {
  protected:
    void SetUp() override {
        StartFreshWatcher();
        // Creates the window; the stand-in's empty queue ends the loop at once.
        WatchMain(kInstance, "C:\\WINDOWS\\LUMWATCH.EXE");
        ASSERT_NE(host::TheMachine().window, nullptr);
        host::TheMachine().quitPending = false; // the stand-in's own, for the loop that would wait
        Wait(kSettleMilliseconds);
        ASSERT_EQ(Started(), 1u);
    }
    static size_t Runs() { return Started() - 1; }
    LRESULT Send(UINT message, WPARAM wParam) {
        return WatchWndProc(host::TheMachine().window, message, wParam, 0);
    }
};

TEST(SetsDisplayAnew, ModeChangesAndResumesOnly) {
    struct Case {
        UINT message;
        WPARAM wParam;
        int arms;
    } cases[] = {
        {WM_DISPLAYCHANGE, 16, 1},    {WM_DISPLAYCHANGE, 0, 1},
        {WM_POWERBROADCAST, 6, 1},    // resume from a critical suspend
        {WM_POWERBROADCAST, 7, 1},    // resume from a suspend
        {WM_POWERBROADCAST, 8, 1},    // resume from standby
        {WM_POWERBROADCAST, 0x12, 1}, // resume, no user present
        {WM_POWERBROADCAST, 0, 0},    // may we suspend?
        {WM_POWERBROADCAST, 4, 0},    // suspending
        {WM_POWERBROADCAST, 5, 0},    // standby
        {WM_POWERBROADCAST, 0xA, 0},  // battery or mains
        {WM_POWERBROADCAST, 0xB, 0},  // an OEM event
        {WM_TIMER, kRunTimer, 0},     {WM_COMMAND, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SetsDisplayAnew(c.message, c.wParam), c.arms) << std::hex << c.message << " " << c.wParam;
    }
}

// A hidden top-level window of its own class, never shown; its loop waits for messages and for
// Windows to tell of a changed rate, nothing else.
TEST_F(Watcher, OneHiddenWindowThatWaits) {
    const host::Machine& m = host::TheMachine();
    ASSERT_EQ(m.registeredClasses.size(), 1u);
    EXPECT_EQ(m.registeredClasses[0].className, WATCHER_CLASS_NAME);
    EXPECT_EQ(m.registeredClasses[0].proc, &WatchWndProc);
    ASSERT_EQ(m.createdWindows.size(), 1u);
    EXPECT_EQ(m.createdWindows[0].parent, nullptr);
    EXPECT_TRUE(m.shownWindows.empty());
    EXPECT_TRUE(m.messageLoopWouldBlock);
    EXPECT_EQ(host::CountCalls("MessageBoxA"), 0u);
    EXPECT_EQ(host::CountCalls("GetMessageA"), 0u);
    EXPECT_EQ(host::CountCalls("MsgWaitForMultipleObjects"), 1u);
}

// The run at the start of Windows is the watcher's: the utility has no Run value of its own that
// Windows would start beside it.
TEST(WatcherStart, RunsTheUtilityOnceAfterTheDelay) {
    StartFreshWatcher();
    WatchMain(kInstance, "LUMWATCH.EXE");
    host::TheMachine().quitPending = false;
    Wait(kSettleMilliseconds - 1);
    EXPECT_EQ(Started(), 0u);
    Wait(1);
    ASSERT_EQ(Started(), 1u);
    EXPECT_EQ(host::TheMachine().startedProcesses[0].application,
              std::string("C:\\WINDOWS\\") + UTILITY_FILE_NAME);
    Wait(60 * 1000);
    EXPECT_EQ(Started(), 1u);
}

// A second watcher of the session, even one started at the same moment as the first (which has
// not made its window yet), finds the first by its mutex and leaves at once with 0, making nothing.
TEST_F(Watcher, ASecondOneLeavesAtOnce) {
    // This process plays the second: the first, another process, holds the mutex.
    host::TheMachine().mutexHolders[WATCHER_MUTEX_NAME] = {0, true, false};
    EXPECT_EQ(WatchMain(kInstance, "LUMWATCH.EXE"), 0);
    EXPECT_EQ(host::TheMachine().registeredClasses.size(), 1u);
    EXPECT_EQ(host::TheMachine().createdWindows.size(), 1u);
    EXPECT_EQ(host::CountCalls("MsgWaitForMultipleObjects"), 1u);

    StartFreshWatcher();
    host::TheMachine().namedMutexes.insert(WATCHER_MUTEX_NAME); // the first, before its window
    host::TheMachine().mutexHolders[WATCHER_MUTEX_NAME].elsewhere = true;
    EXPECT_EQ(WatchMain(kInstance, "LUMWATCH.EXE"), 0);
    EXPECT_TRUE(host::TheMachine().registeredClasses.empty());
    EXPECT_EQ(Started(), 0u);
}

// Three mode changes inside the delay: one run, two seconds after the last; then none.
TEST_F(Watcher, ABurstOfEventsIsOneRunAfterTheLast) {
    Send(WM_DISPLAYCHANGE, 16);
    Wait(500);
    Send(WM_DISPLAYCHANGE, 16);
    Wait(500);
    Send(WM_POWERBROADCAST, 7);
    Wait(kSettleMilliseconds - 1);
    EXPECT_EQ(Runs(), 0u);
    Wait(1);
    EXPECT_EQ(Runs(), 1u);
    Wait(60 * 1000);
    EXPECT_EQ(Runs(), 1u);
    EXPECT_TRUE(host::TheMachine().timers.empty());

    // Each later event is a run of its own.
    Send(WM_POWERBROADCAST, 0x12);
    Wait(kSettleMilliseconds);
    Send(WM_DISPLAYCHANGE, 8);
    Wait(kSettleMilliseconds);
    EXPECT_EQ(Runs(), 3u);
}

// The utility from the watcher's own folder, whatever the current folder, with no command line;
// the watcher does not wait for it, and keeps only its process handle, until it has ended.
TEST_F(Watcher, StartsTheUtilityBesideItself) {
    host::Machine& m = host::TheMachine();
    m.moduleFileName = "D:\\LUMAREL TOOLS\\LUMWATCH.EXE";
    Send(WM_DISPLAYCHANGE, 16);
    Wait(kSettleMilliseconds);
    ASSERT_EQ(Runs(), 1u);
    EXPECT_EQ(m.startedProcesses[1].application, std::string("D:\\LUMAREL TOOLS\\") + UTILITY_FILE_NAME);
    EXPECT_FALSE(m.startedProcesses[1].commandLine);
    ASSERT_NE(watchState.run, nullptr);
    EXPECT_EQ(m.openObjects.at(watchState.run).process, 1);
    EXPECT_TRUE(m.adapter.trace.empty());
    EXPECT_FALSE(RunGoesOn()); // it has ended: the handle goes
    EXPECT_EQ(m.openObjects.count(watchState.run), 0u);
}

// One writer on the adapter: while a run goes on, the timer looks again and again and starts
// nothing; the events that came meanwhile get one run once it has ended. The message loop is
// never held up meanwhile (the timer is re-armed; nothing waits).
TEST_F(Watcher, NeverTwoRunsAtOnce) {
    host::Machine& m = host::TheMachine();
    m.processesRun   = true;
    Send(WM_DISPLAYCHANGE, 16);
    Wait(kSettleMilliseconds);
    ASSERT_EQ(Runs(), 1u);
    EXPECT_TRUE(RunGoesOn());

    Send(WM_POWERBROADCAST, 8);
    Wait(kSettleMilliseconds);
    Send(WM_DISPLAYCHANGE, 16);
    Wait(kSettleMilliseconds + 10 * kBusyMilliseconds);
    EXPECT_EQ(Runs(), 1u);
    EXPECT_EQ(m.timers.count(kRunTimer), 1u); // it looks again

    m.startedProcesses.back().ended = true;
    Wait(kBusyMilliseconds);
    EXPECT_EQ(Runs(), 2u);
    m.startedProcesses.back().ended = true;
    Wait(60 * 1000);
    EXPECT_EQ(Runs(), 2u);
    EXPECT_EQ(host::CountCalls("WaitForSingleObject") > 0, true);
}

// While another program holds the adapter lock (the rate chooser's trial, the diagnostic's reads),
// the watcher starts no run: the two would interleave, and the chooser's writing back would undo the
// run. The event that came meanwhile gets its run once the lock is free.
TEST_F(Watcher, NoRunWhileAnotherHoldsTheAdapter) {
    host::Machine& m                            = host::TheMachine();
    m.mutexHolders[ADAPTER_LOCK_NAME].elsewhere = true;
    Send(WM_DISPLAYCHANGE, 16);
    Wait(kSettleMilliseconds + 20 * kBusyMilliseconds);
    EXPECT_EQ(Runs(), 0u);
    EXPECT_EQ(m.timers.count(kRunTimer), 1u);
    m.mutexHolders[ADAPTER_LOCK_NAME].elsewhere = false;
    Wait(kBusyMilliseconds);
    EXPECT_EQ(Runs(), 1u);
}

// The watcher holds the adapter lock from before it starts a run until it sees the run ended, and
// only then: a run that does not start lets it go at once.
TEST_F(Watcher, HoldsTheAdapterAcrossItsRun) {
    host::Machine& m = host::TheMachine();
    m.processesRun   = true;
    Send(WM_DISPLAYCHANGE, 16);
    Wait(kSettleMilliseconds);
    ASSERT_EQ(Runs(), 1u);
    EXPECT_EQ(m.mutexHolders[ADAPTER_LOCK_NAME].here, 1);
    EXPECT_TRUE(RunGoesOn());
    EXPECT_EQ(m.mutexHolders[ADAPTER_LOCK_NAME].here, 1);
    m.startedProcesses.back().ended = true;
    EXPECT_FALSE(RunGoesOn());
    EXPECT_EQ(m.mutexHolders[ADAPTER_LOCK_NAME].here, 0);

    m.createProcessFails = true;
    Send(WM_DISPLAYCHANGE, 16);
    Wait(kSettleMilliseconds);
    EXPECT_EQ(m.mutexHolders[ADAPTER_LOCK_NAME].here, 0);
}

// A trial begins (the chooser says so): the loop waits on the lock. Let go as usual, the watcher
// lets it go at once and runs nothing; left by a chooser that ended without letting go (End Task, a
// fault), the watcher runs the utility at once, with the lock held until the run ends, which puts
// the stored rate's timing back over the trial's.
TEST_F(Watcher, ATrialWhoseChooserVanishedIsPutRight) {
    host::Machine& m = host::TheMachine();
    m.processesRun   = true;
    RunGoesOn(); // the loop saw the start run end
    for (bool abandoned : {false, true}) {
        SCOPED_TRACE(abandoned ? "abandoned" : "let go");
        size_t runs = Runs();
        Send(kWatchTrialBegins, 0);
        EXPECT_EQ(watchState.watchesLock, 1);
        // The wait on the lock answers once the trial has let it go, or its holder has gone.
        auto& holder     = m.mutexHolders[ADAPTER_LOCK_NAME];
        holder.abandoned = abandoned;
        DWORD woke       = WaitForSingleObject(AdapterLock(), 0);
        LockCame(m.window, woke == WAIT_ABANDONED);
        EXPECT_EQ(watchState.watchesLock, 0);
        EXPECT_EQ(Runs(), runs + (abandoned ? 1 : 0));
        EXPECT_EQ(holder.here, abandoned ? 1 : 0);
        m.startedProcesses.back().ended = true;
        RunGoesOn();
        EXPECT_EQ(holder.here, 0);
    }
}

// "LUMWATCH /NOW" asks the running watcher (kWatchRunNow), which runs the utility as soon as the
// adapter is free, without the settling delay; where no watcher runs, it becomes the watcher, which
// runs the utility at its start.
TEST(WatcherNow, AsksTheRunningWatcherOrBecomesOne) {
    StartFreshWatcher();
    host::Machine& m                   = host::TheMachine();
    HWND other                         = reinterpret_cast<HWND>(0x7700);
    m.otherWindows[WATCHER_CLASS_NAME] = other;
    EXPECT_EQ(WatchMain(kInstance, "C:\\WINDOWS\\LUMWATCH.EXE /now"), 0);
    ASSERT_EQ(m.postedMessages.size(), 1u);
    EXPECT_EQ(m.postedMessages[0].window, other);
    EXPECT_EQ(m.postedMessages[0].message, static_cast<UINT>(kWatchRunNow));
    EXPECT_TRUE(m.createdWindows.empty());

    StartFreshWatcher();
    WatchMain(kInstance, "C:\\WINDOWS\\LUMWATCH.EXE /NOW");
    EXPECT_EQ(host::TheMachine().createdWindows.size(), 1u);
    host::TheMachine().quitPending = false;
    Wait(kSettleMilliseconds);
    EXPECT_EQ(Started(), 1u);
}

TEST_F(Watcher, RunNowRunsWithoutTheDelayOnceTheAdapterIsFree) {
    host::Machine& m = host::TheMachine();
    Send(kWatchRunNow, 0);
    EXPECT_EQ(Runs(), 1u);
    m.mutexHolders[ADAPTER_LOCK_NAME].elsewhere = true;
    Send(kWatchRunNow, 0);
    Wait(10 * kBusyMilliseconds);
    EXPECT_EQ(Runs(), 1u);
    m.mutexHolders[ADAPTER_LOCK_NAME].elsewhere = false;
    Wait(kBusyMilliseconds);
    EXPECT_EQ(Runs(), 2u);
}

// Windows has only so many timers: an event that gets none runs the utility at once rather than
// not at all, when no run goes on.
TEST_F(Watcher, AnEventWithoutATimerRunsAtOnce) {
    host::Machine& m = host::TheMachine();
    m.timersFail     = true;
    Send(WM_DISPLAYCHANGE, 16);
    EXPECT_EQ(Runs(), 1u);
}

// A utility that cannot be started is told nowhere; the next event tries again. A module path that
// leaves no room for the utility's name starts nothing.
TEST_F(Watcher, AUtilityThatDoesNotStartIsToldNowhere) {
    host::Machine& m     = host::TheMachine();
    m.createProcessFails = true;
    Send(WM_DISPLAYCHANGE, 16);
    Wait(kSettleMilliseconds);
    EXPECT_EQ(Runs(), 1u);
    EXPECT_TRUE(m.messageBoxes.empty());
    m.createProcessFails = false;
    Send(WM_DISPLAYCHANGE, 16);
    Wait(kSettleMilliseconds);
    EXPECT_EQ(Runs(), 2u);

    m.moduleFileName = "C:\\" + std::string(MAX_PATH - 8, 'W') + "\\L.EXE";
    Send(WM_DISPLAYCHANGE, 16);
    Wait(kSettleMilliseconds);
    EXPECT_EQ(Runs(), 2u);
}

// Every power event is answered as DefWindowProcA answers it, so no suspend is refused; the
// watcher's own timer is its own business, another timer is not.
TEST_F(Watcher, AnswersPowerEventsAsTheDefault) {
    for (WPARAM event : {0u, 4u, 5u, 6u, 7u, 8u, 0xAu, 0x12u}) {
        EXPECT_EQ(Send(WM_POWERBROADCAST, event), host::kDefWindowProcAnswer) << event;
    }
    EXPECT_EQ(Send(WM_TIMER, kRunTimer + 1), host::kDefWindowProcAnswer);
    EXPECT_EQ(Send(WM_DISPLAYCHANGE, 16), host::kDefWindowProcAnswer);
}

// Windows sends WM_ENDSESSION to the window: PeekMessageA hands it to the window procedure and
// returns no message. The loop ends there with 0, rather than waiting on for ever.
TEST(WatcherEnds, AtAnEndOfTheSessionSentToIt) {
    StartFreshWatcher();
    host::Machine& m = host::TheMachine();
    m.sentMessages.push_back({nullptr, WM_ENDSESSION, TRUE, 0});
    EXPECT_EQ(WatchMain(kInstance, "C:\\WINDOWS\\LUMWATCH.EXE"), 0);
    EXPECT_EQ(watchState.ended, 1);
    EXPECT_FALSE(m.messageLoopWouldBlock);
}

// The end of the session ends the loop with exit code 0 (the window goes with the process); a
// session that goes on changes nothing. With the package installed, WININIT.INI is not touched.
TEST_F(Watcher, EndsWithTheSession) {
    host::Machine& m = host::TheMachine();
    m.writablePaths.insert("C:\\WINDOWS\\WININIT.INI");
    size_t opened = host::CountCalls("CreateFileA"); // at the start: a pending line to take back?
    EXPECT_EQ(Send(WM_ENDSESSION, FALSE), 0);
    EXPECT_EQ(watchState.ended, 0);
    EXPECT_EQ(Send(WM_ENDSESSION, TRUE), 0);
    EXPECT_EQ(watchState.ended, 1);
    EXPECT_EQ(host::CountCalls("CreateFileA"), opened);
    EXPECT_EQ(m.files.count("C:\\WINDOWS\\WININIT.INI"), 0u);
}

// Removed in this session (told so by the removal, and the Add/Remove Programs entry gone): at its
// end the watcher names its own file, by its short path, for WININIT.EXE to delete at the next
// start, after the profile cache is written out; another program's pending lines, keys repeated,
// stay byte for byte. A Run value deleted by hand, by a startup manager or by Windows 98's System
// Configuration Utility, is no removal: the file stays, and Add/Remove Programs can still remove the
// package with it. Nor is an Uninstall entry left after the removal's setup failed.
TEST_F(Watcher, OnlyARemovalNamesItsFileForTheNextStart) {
    const std::string path    = "C:\\WINDOWS\\WININIT.INI";
    const std::string foreign = "[rename]\r\nNUL=C:\\OTHER\\OLD1.DLL\r\nNUL=C:\\OTHER\\OLD2.DLL\r\n"
                                "C:\\OTHER\\APP.EXE=C:\\OTHER\\APP.NEW\r\n";
    const struct {
        const char* name;
        bool told, runValue, uninstallEntry, deletes;
    } cases[] = {
        {"removed", true, false, false, true},
        {"Run value deleted by hand", false, false, true, false},
        {"Run value and entry gone, no removal told", false, false, false, false},
        {"removal told, its setup failed", true, true, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        host::Machine& m = host::TheMachine();
        if (!c.runValue) {
            m.runValues.clear();
        }
        if (!c.uninstallEntry) {
            m.registry.localMachine = host::RegistryKey{};
        }
        m.shortPaths[m.moduleFileName] = "C:\\WINDOWS\\LUMWATCH.EXE";
        m.writablePaths.insert(path);
        m.files[path] = {foreign, std::nullopt};
        m.profileFlushes.clear();
        if (c.told) {
            Send(kWatchRemoving, 0);
        }
        Send(WM_ENDSESSION, TRUE);
        EXPECT_EQ(m.files[path].bytes, c.deletes ? foreign + "NUL=C:\\WINDOWS\\LUMWATCH.EXE\r\n" : foreign);
        EXPECT_EQ(m.profileFlushes,
                  c.deletes ? std::vector<std::string>{"WININIT.INI"} : std::vector<std::string>{});
    }
}

// Told that the package goes, the watcher starts no run any more, neither for an event that came
// before nor for one after: the setup is deleting the utility's file.
TEST_F(Watcher, NoRunOnceThePackageGoes) {
    Send(WM_DISPLAYCHANGE, 16);
    Send(kWatchRemoving, 0);
    Send(WM_DISPLAYCHANGE, 16);
    Send(kWatchRunNow, 0);
    Wait(60 * 1000);
    EXPECT_EQ(Runs(), 0u);
}

// Windows 98 tells the watcher of a change of Display\Settings: a new RefreshRate arms the run as
// a mode change does; another value of the key (Display Properties writes several) does not. Each
// notice is asked for again.
TEST_F(Watcher, ANewRateIsOneRun) {
    host::Machine& m = host::TheMachine();
    EXPECT_EQ(m.rateNotifications, 1);
    ASSERT_NE(watchState.settingsChanged, nullptr);

    RateSettingChanged(m.window); // the same "85"
    WatchRateSetting();
    Wait(kSettleMilliseconds);
    EXPECT_EQ(Runs(), 0u);

    m.refreshRate = host::RegistryValue{REG_SZ, std::string("75", 3)};
    RateSettingChanged(m.window);
    WatchRateSetting();
    Wait(kSettleMilliseconds - 1);
    EXPECT_EQ(Runs(), 0u);
    Wait(1);
    EXPECT_EQ(Runs(), 1u);
    EXPECT_EQ(m.rateNotifications, 3);

    m.refreshRate.reset(); // the value deleted: a change too
    RateSettingChanged(m.window);
    Wait(kSettleMilliseconds);
    EXPECT_EQ(Runs(), 2u);
}

// Windows 95 has no RegNotifyChangeKeyValue: the watcher asks for it by name, finds none, and
// goes on with messages alone; it never imports the call (the executable check holds that).
TEST(WatcherOnWindows95, WorksWithoutRateNotices) {
    StartFreshWatcher();
    host::Machine& m = host::TheMachine();
    m.windows95      = true;
    WatchMain(kInstance, "LUMWATCH.EXE");
    m.quitPending = false;
    EXPECT_EQ(host::CountCalls("RegNotifyChangeKeyValue"), 0u);
    EXPECT_EQ(watchState.settingsChanged, nullptr);
    Wait(kSettleMilliseconds);
    WatchWndProc(m.window, WM_DISPLAYCHANGE, 16, 0);
    Wait(kSettleMilliseconds);
    EXPECT_EQ(Started(), 2u);
}

TEST(AsksForRemoval, OnlyTheSwitchAfterTheProgramsName) {
    struct Case {
        const char* commandLine;
        int removal;
    } cases[] = {
        {"LUMWATCH.EXE /REMOVE", 1},
        {"C:\\WINDOWS\\LUMWATCH.EXE /remove", 1},
        {"\"C:\\MY TOOLS\\LUMWATCH.EXE\" /Remove  ", 1},
        {"LUMWATCH.EXE\t/REMOVE", 1},
        {"LUMWATCH.EXE", 0},
        {"LUMWATCH.EXE /REMOVED", 0},
        {"LUMWATCH.EXE /REMOVE now", 0},
        {"LUMWATCH.EXE REMOVE", 0},
        {"C:\\MY TOOLS\\LUMWATCH.EXE /REMOVE", 1},      // unquoted, but its own name is found
        {"LUMWATCH/REMOVE", 1},                         // as COMMAND.COM takes a switch
        {"LUMWAT~1.EXE /REMOVE", 1},                    // started by another name: its first word
        {"C:/My/lumwatch/REMOVE", 1},                   // slashes for folders, the name in small letters
        {"C:\\MY LUMWATCHER\\LUMWATCH.EXE /REMOVE", 1}, // unquoted: a folder that begins with the name
        {"/REMOVE", 0},                                 // the program's own name
        {"", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AsksForRemoval(c.commandLine), c.removal) << c.commandLine;
    }
    // The file's own name in mixed letters, as a long name keeps them, and typed in others; a copy
    // under another name, its z in one case in the file and another on the command line. Unquoted
    // after a folder with a blank, where the first word would be no name at all.
    struct Renamed {
        const char* module;
        const char* commandLine;
    } renamed[] = {
        {"C:\\Program Files\\Lumarel\\LumWatch.exe", "C:\\Program Files\\Lumarel\\LUMWATCH.EXE /remove"},
        {"C:\\MY TOOLS\\LumWatz.exe", "C:\\MY TOOLS\\LUMWATZ.EXE /REMOVE"},
        {"C:\\MY TOOLS\\LUMWATZ.EXE", "C:\\MY TOOLS\\lumwatz.exe /remove"},
    };
    for (const Renamed& r : renamed) {
        StartFreshWatcher();
        host::TheMachine().moduleFileName = r.module;
        EXPECT_EQ(AsksForRemoval(r.commandLine), 1) << r.commandLine;
    }
    StartFreshWatcher();
}

// The removal makes sure a watcher runs for the rest of the session and tells it the package goes
// (starting one where none runs), waits for the adapter to be free, and last runs the setup file's
// uninstall section, as a package's own setup file is removed, and waits for it. Nothing comes after.
TEST(RemovePackage, TellsTheWatcherWaitsForTheAdapterThenUninstalls) {
    for (bool watcherRuns : {false, true}) {
        SCOPED_TRACE(watcherRuns ? "a watcher runs" : "no watcher runs");
        StartFreshWatcher();
        host::Machine& m = host::TheMachine();
        HWND watcher     = reinterpret_cast<HWND>(0x7700);
        if (watcherRuns) {
            m.otherWindows[WATCHER_CLASS_NAME] = watcher;
        } else {
            m.processesRun = true; // the watcher started: it makes its window while the removal waits
        }
        size_t setupAt = watcherRuns ? 0 : 1;
        if (!watcherRuns) {
            // The started watcher's window appears once the removal looks for it again.
            m.otherWindows.clear();
        }
        int result = 0;
        if (!watcherRuns) {
            // No window ever comes: the removal gives up waiting for it and goes on.
            result = WatchMain(kInstance, "C:\\WINDOWS\\LUMWATCH.EXE /REMOVE");
        } else {
            result = WatchMain(kInstance, "C:\\WINDOWS\\LUMWATCH.EXE /REMOVE");
        }
        EXPECT_EQ(result, 0);
        ASSERT_EQ(Started(), setupAt + 1);
        if (!watcherRuns) {
            EXPECT_EQ(m.startedProcesses[0].application, m.moduleFileName);
            EXPECT_FALSE(m.startedProcesses[0].commandLine);
        } else {
            ASSERT_EQ(m.postedMessages.size(), 1u);
            EXPECT_EQ(m.postedMessages[0].window, watcher);
            EXPECT_EQ(m.postedMessages[0].message, static_cast<UINT>(kWatchRemoving));
        }
        EXPECT_EQ(m.startedProcesses[setupAt].commandLineText,
                  "rundll.exe setupx.dll,InstallHinfSection DefaultUninstall 132 LUMRATE.INF");
        EXPECT_EQ(m.startedProcesses[setupAt].application, "");
        // The adapter was taken before the setup started, and let go after it ended.
        EXPECT_EQ(m.mutexHolders[ADAPTER_LOCK_NAME].here, 0);
        EXPECT_TRUE(m.registeredClasses.empty()); // this process is no watcher itself
    }
}

// A run of the utility or a trial holds the adapter: the removal waits until it is free before the
// setup deletes the utility's file, which a run in use would keep.
TEST(RemovePackage, WaitsWhileAnotherHoldsTheAdapter) {
    StartFreshWatcher();
    host::Machine& m                            = host::TheMachine();
    m.otherWindows[WATCHER_CLASS_NAME]          = reinterpret_cast<HWND>(0x7700);
    m.mutexHolders[ADAPTER_LOCK_NAME].elsewhere = true;
    WatchMain(kInstance, "C:\\WINDOWS\\LUMWATCH.EXE /REMOVE");
    EXPECT_TRUE(m.messageLoopWouldBlock); // the stand-in's record of a wait for ever
    EXPECT_EQ(m.postedMessages.size(), 1u);
}

// A watcher started while its Run value exists (the package installed again after a removal, in
// the same session) takes back the line that would delete its file at the next start; another
// program's lines stay byte for byte.
TEST(WatcherStart, TakesBackAPendingLineThatNamesIt) {
    const std::string path  = "C:\\WINDOWS\\WININIT.INI";
    const std::string other = "[rename]\r\nNUL=C:\\OTHER\\OLD1.DLL\r\n";
    const std::string after = "C:\\OTHER\\APP.EXE=C:\\OTHER\\APP.NEW\r\n[z]\r\n";
    for (bool runValue : {true, false}) {
        SCOPED_TRACE(runValue ? "installed" : "Run value gone");
        StartFreshWatcher();
        host::Machine& m = host::TheMachine();
        if (!runValue) {
            m.runValues.clear();
        }
        m.shortPaths[m.moduleFileName] = "C:\\WINDOWS\\LUMWATCH.EXE";
        m.writablePaths.insert(path);
        m.files[path] = {other + "nul=c:\\windows\\lumwatch.exe\r\n" + after, std::nullopt};
        WatchMain(kInstance, "C:\\WINDOWS\\LUMWATCH.EXE");
        EXPECT_EQ(m.files[path].bytes,
                  runValue ? other + after : other + "nul=c:\\windows\\lumwatch.exe\r\n" + after);
    }
}

// The take-back on the stand-in's files: the watcher's own line goes wherever it stands in the
// [rename] section, with its line end, every other byte staying; nothing else is touched, and no file
// is made where there is none.
TEST(TakeBackPendingDelete, TakesOutItsLineAlone) {
    const std::string path = "C:\\WINDOWS\\WININIT.INI";
    const std::string line = "NUL=C:\\WINDOWS\\LUMWATCH.EXE";
    struct Case {
        const char* name;
        std::optional<std::string> before;
        std::optional<std::string> after;
        int result;
    } cases[] = {
        {"no file", std::nullopt, std::nullopt, 0},
        {"the line first", "[rename]\r\n" + line + "\r\nNUL=C:\\X.DLL\r\n", "[rename]\r\nNUL=C:\\X.DLL\r\n",
         1},
        {"the line last, no line end", "[rename]\r\nNUL=C:\\X.DLL\r\n" + line,
         "[rename]\r\nNUL=C:\\X.DLL\r\n", 1},
        {"the line before Ctrl+Z", "[rename]\r\n" + line + "\r\n\x1a", "[rename]\r\n\x1a", 1},
        {"the line before the next section", "[rename]\n " + line + " \n[z]\nB=2", "[rename]\n[z]\nB=2", 1},
        {"the line in another section", "[z]\r\n" + line + "\r\n", "[z]\r\n" + line + "\r\n", 1},
        {"no line", "[rename]\r\nNUL=C:\\X.DLL\r\n", "[rename]\r\nNUL=C:\\X.DLL\r\n", 1},
        {"too large", "[rename]\r\n" + line + "\r\n" + std::string(kWininitLimit, ';'),
         "[rename]\r\n" + line + "\r\n" + std::string(kWininitLimit, ';'), 0},
    };
    for (const Case& c : cases) {
        StartFreshWatcher();
        host::Machine& m               = host::TheMachine();
        m.shortPaths[m.moduleFileName] = "C:\\WINDOWS\\LUMWATCH.EXE";
        m.writablePaths.insert(path);
        m.readChunk = 7; // ReadFile in pieces
        if (c.before) {
            m.files[path] = {*c.before, std::nullopt};
        }
        EXPECT_EQ(TakeBackPendingDelete(), c.result) << c.name;
        ASSERT_EQ(m.files.count(path), c.after ? 1u : 0u) << c.name;
        if (c.after) {
            EXPECT_EQ(m.files[path].bytes, *c.after) << c.name;
        }
        EXPECT_TRUE(m.openObjects.empty()) << c.name;
    }
}

// Where the line goes into WININIT.INI: at the end of the first [rename] section, a header and a
// line break added where missing; nothing where the section has the line.
TEST(PlanPendingDelete, WhereTheLineGoes) {
    const char kEntry[] = "NUL=C:\\WINDOWS\\LUMWATCH.EXE";
    struct Case {
        const char* name;
        std::string text;
        int insert;
        std::string before; // the text before the new one: the edit's offset is its length
        int lineBreak, header;
    } cases[] = {
        {"no file", "", 1, "", 0, 1},
        {"section last", "[rename]\r\nNUL=C:\\A.DLL\r\n", 1, "[rename]\r\nNUL=C:\\A.DLL\r\n", 0, 0},
        {"section last, no line end", "[rename]\r\nNUL=C:\\A.DLL", 1, "[rename]\r\nNUL=C:\\A.DLL", 1, 0},
        {"section before another", "[Rename]\r\nNUL=C:\\A.DLL\r\n\r\n[other]\r\nx=1\r\n", 1,
         "[Rename]\r\nNUL=C:\\A.DLL\r\n\r\n", 0, 0},
        {"blanks around the header", "  [RENAME] \r\nNUL=C:\\A.DLL\r\n[x]\r\n", 1,
         "  [RENAME] \r\nNUL=C:\\A.DLL\r\n", 0, 0},
        {"no such section", "[other]\r\nx=1\r\n", 1, "[other]\r\nx=1\r\n", 0, 1},
        {"no such section, no line end", "[other]\r\nx=1", 1, "[other]\r\nx=1", 1, 1},
        {"only the first section", "[rename]\r\nA=B\r\n[x]\r\n[rename]\r\n", 1, "[rename]\r\nA=B\r\n", 0, 0},
        {"Ctrl+Z ends the text", "[rename]\r\nNUL=C:\\A.DLL\r\n\x1a", 1, "[rename]\r\nNUL=C:\\A.DLL\r\n", 0,
         0},
        {"Ctrl+Z within a line", "[rename]\r\nNUL=C:\\A.DLL\x1a\r\n", 1, "[rename]\r\nNUL=C:\\A.DLL", 1, 0},
        {"LF alone", "[rename]\nNUL=C:\\A.DLL\n", 1, "[rename]\nNUL=C:\\A.DLL\n", 0, 0},
        {"the line there already", "[rename]\r\nnul=c:\\windows\\lumwatch.exe \r\n", 0, "", 0, 0},
        {"the line in another section", "[x]\r\nNUL=C:\\WINDOWS\\LUMWATCH.EXE\r\n", 1,
         "[x]\r\nNUL=C:\\WINDOWS\\LUMWATCH.EXE\r\n", 0, 1},
        {"a longer line is another", "[rename]\r\nNUL=C:\\WINDOWS\\LUMWATCH.EXE2\r\n", 1,
         "[rename]\r\nNUL=C:\\WINDOWS\\LUMWATCH.EXE2\r\n", 0, 0},
    };
    for (const Case& c : cases) {
        PendingDeleteEdit edit{0xDEAD, 7, 7, 0xDEAD, 0xDEAD};
        ASSERT_EQ(PlanPendingDelete(c.text.data(), static_cast<DWORD>(c.text.size()), kEntry, &edit),
                  c.insert)
            << c.name;
        if (c.insert) {
            EXPECT_EQ(edit.offset, c.before.size()) << c.name;
            EXPECT_EQ(c.text.compare(0, c.before.size(), c.before), 0) << c.name;
            EXPECT_EQ(edit.lineBreak, c.lineBreak) << c.name;
            EXPECT_EQ(edit.header, c.header) << c.name;
        }
    }
}

// The watcher's line is found in any letters' case, up to the text's last byte: the line last with
// no line end, or ended by Ctrl+Z alone, is the line; one a byte short is another. The text lies in a
// buffer of its exact size, as WININIT.INI's bytes would: no byte after it is looked at.
TEST(PlanPendingDelete, FindsItsLineInAnyCaseToTheLastByte) {
    const char kEntry[] = "NUL=C:\\WINDOWS\\LUMWATCH.EXE";
    struct Case {
        const char* name;
        const char* entry;
        std::string text;
        std::optional<std::string> left; // the text with the line taken out; none: the line is not there
    } cases[] = {
        {"small letters in the file, a z among them", "NUL=C:\\WINDOZ\\LUMWATCH.EXE",
         "[rename]\r\nnul=c:\\windoz\\lumwatch.exe\r\nNUL=C:\\X.DLL\r\n", "[rename]\r\nNUL=C:\\X.DLL\r\n"},
        {"capitals in the file", "nul=c:\\windoz\\lumwatch.exe",
         "[RENAME]\r\nNUL=C:\\WINDOZ\\LUMWATCH.EXE\r\n", "[RENAME]\r\n"},
        {"@ and ` are no letters", "NUL=C:\\@.EXE", "[rename]\r\nNUL=C:\\`.EXE\r\n", std::nullopt},
        {"{ and [ are no letters", "NUL=C:\\{.EXE", "[rename]\r\nNUL=C:\\[.EXE\r\n", std::nullopt},
        {"last, no line end", kEntry, "[rename]\r\nNUL=C:\\WINDOWS\\LUMWATCH.EXE", "[rename]\r\n"},
        {"last, a CR alone after it", kEntry, "[rename]\r\nNUL=C:\\WINDOWS\\LUMWATCH.EXE\r", "[rename]\r\n"},
        {"before Ctrl+Z, no line end", kEntry, "[rename]\r\nNUL=C:\\WINDOWS\\LUMWATCH.EXE\x1a;",
         "[rename]\r\n\x1a;"},
        {"a byte short, last", kEntry, "[rename]\r\nNUL=C:\\WINDOWS\\LUMWATCH.EX", std::nullopt},
    };
    for (const Case& c : cases) {
        const std::vector<char> bytes(c.text.begin(), c.text.end());
        const DWORD size = static_cast<DWORD>(bytes.size());
        PendingDeleteEdit edit{0xDEAD, 7, 7, 0xDEAD, 0xDEAD};
        ASSERT_EQ(PlanPendingDelete(bytes.data(), size, c.entry, &edit), c.left ? 0 : 1) << c.name;
        if (c.left) {
            ASSERT_LE(edit.lineStart, edit.lineEnd) << c.name;
            ASSERT_LE(edit.lineEnd, size) << c.name;
            EXPECT_EQ(c.text.substr(0, edit.lineStart) + c.text.substr(edit.lineEnd), *c.left) << c.name;
        }
    }
}

// The whole edit on the stand-in's files: every byte another program wrote stays, in its place
// before or after the new line; the 8.3 path, not the long one; a file too large to understand
// is left alone; a second call adds nothing.
TEST(SchedulePendingDelete, AddsOneLineKeepingEveryOther) {
    const std::string path = "C:\\WINDOWS\\WININIT.INI";
    const std::string line = "NUL=C:\\PROGRA~1\\LUMWAT~1.EXE\r\n";
    struct Case {
        const char* name;
        std::optional<std::string> before;
        std::string after;
    } cases[] = {
        {"no file", std::nullopt, "[rename]\r\n" + line},
        {"other lines around",
         "[other]\r\nA=1\r\n[rename]\r\nNUL=C:\\X.DLL\r\nNUL=C:\\Y.DLL\r\nC:\\D.EXE=C:\\S.EXE\r\n[z]\r\nB=2",
         "[other]\r\nA=1\r\n[rename]\r\nNUL=C:\\X.DLL\r\nNUL=C:\\Y.DLL\r\nC:\\D.EXE=C:\\S.EXE\r\n" + line +
             "[z]\r\nB=2"},
        {"no section", "[other]\r\nA=1", "[other]\r\nA=1\r\n[rename]\r\n" + line},
        {"the line last, no line end", "[rename]\r\nNUL=C:\\PROGRA~1\\LUMWAT~1.EXE",
         "[rename]\r\nNUL=C:\\PROGRA~1\\LUMWAT~1.EXE"},
        {"a line a byte short, last", "[rename]\r\nNUL=C:\\PROGRA~1\\LUMWAT~1.EX",
         "[rename]\r\nNUL=C:\\PROGRA~1\\LUMWAT~1.EX\r\n" + line},
        {"too large", std::string(kWininitLimit + 1, ';'), std::string(kWininitLimit + 1, ';')},
    };
    for (const Case& c : cases) {
        StartFreshWatcher();
        host::Machine& m               = host::TheMachine();
        m.moduleFileName               = "C:\\Program Files\\Lumarel Watch.exe";
        m.shortPaths[m.moduleFileName] = "C:\\PROGRA~1\\LUMWAT~1.EXE";
        m.writablePaths.insert(path);
        m.readChunk = 7; // ReadFile in pieces
        if (c.before) {
            m.files[path] = {*c.before, std::nullopt};
        }
        EXPECT_EQ(SchedulePendingDelete(), c.before && c.before->size() > kWininitLimit ? 0 : 1) << c.name;
        EXPECT_EQ(m.files[path].bytes, c.after) << c.name;
        SchedulePendingDelete();
        EXPECT_EQ(m.files[path].bytes, c.after) << c.name;
        EXPECT_TRUE(m.openObjects.empty()) << c.name;
    }
}

// WININIT.INI's full path, the Windows folder and "\\WININIT.INI", must fit MAX_PATH with its zero:
// a folder of 247 characters does; one longer is refused before any file is opened or made, as is
// a folder GetWindowsDirectoryA does not give.
TEST(SchedulePendingDelete, WindowsFolderUpToMaxPath) {
    const std::string line = "[rename]\r\nNUL=C:\\WINDOWS\\LUMWATCH.EXE\r\n";
    struct Case {
        size_t length; // of the Windows folder's path; 0: GetWindowsDirectoryA fails
        int done;
    } cases[] = {{247, 1}, {248, 0}, {259, 0}, {300, 0}, {0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        StartFreshWatcher();
        host::Machine& m       = host::TheMachine();
        m.windowsDirectory     = c.length != 0 ? PathOfLength(c.length, "WINDOWS") : "";
        const std::string path = m.windowsDirectory + "\\WININIT.INI";
        m.writablePaths.insert(path);
        EXPECT_EQ(SchedulePendingDelete(), c.done);
        if (c.done) {
            ASSERT_EQ(m.files.count(path), 1u);
            EXPECT_EQ(m.files[path].bytes, line);
        } else {
            EXPECT_EQ(m.files.count(path), 0u);
            EXPECT_EQ(host::CountCalls("CreateFileA"), 0u);
        }
        EXPECT_TRUE(m.openObjects.empty());
    }
}

// The watcher's own path, long and 8.3, up to MAX_PATH with its zero: a path of 259 characters
// goes in whole, after a line break and the section made, the most the line's text ever holds; one
// longer, which GetModuleFileNameA cuts and GetShortPathNameA does not give, puts no line in.
TEST(SchedulePendingDelete, OwnPathUpToMaxPath) {
    const std::string path   = "C:\\WINDOWS\\WININIT.INI";
    const std::string before = "[other]\r\nA=1";
    const std::string folder = "C:\\Program Files\\Lumarel\\LumWatch.exe";
    struct Case {
        const char* name;
        std::string module;
        std::optional<std::string> shortPath; // none: the long path is its own short form
        int done;
    } cases[] = {
        {"long path of 259", PathOfLength(259, "LUMWATCH.EXE"), std::nullopt, 1},
        {"long path of 260", PathOfLength(260, "LUMWATCH.EXE"), std::nullopt, 0},
        {"short path of 259", folder, PathOfLength(259, "LUMWAT~1.EXE"), 1},
        {"short path of 260", folder, PathOfLength(260, "LUMWAT~1.EXE"), 0},
    };
    for (const Case& c : cases) {
        StartFreshWatcher();
        host::Machine& m = host::TheMachine();
        m.moduleFileName = c.module;
        if (c.shortPath) {
            m.shortPaths[c.module] = *c.shortPath;
        }
        m.writablePaths.insert(path);
        m.files[path] = {before, std::nullopt};
        EXPECT_EQ(SchedulePendingDelete(), c.done) << c.name;
        EXPECT_EQ(m.files[path].bytes,
                  c.done ? before + "\r\n[rename]\r\nNUL=" + c.shortPath.value_or(c.module) + "\r\n" : before)
            << c.name;
        EXPECT_TRUE(m.openObjects.empty()) << c.name;
    }
}

} // namespace
