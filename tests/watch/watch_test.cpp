// The watcher on the host stand-in: which events arm its timer, how a burst of them becomes one run
// of the utility, how it starts the utility, and that it never touches the adapter. The stand-in's
// timers run on a clock the tests move.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "machine.h"
#include "tests/support/process.h"
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

size_t Runs() {
    return host::TheMachine().startedProcesses.size();
}

class Watcher : public ::testing::Test {
  protected:
    void SetUp() override {
        support::StartFreshProcess();
        WatchMain(kInstance); // creates the window; the stand-in's empty queue ends the loop at once
        ASSERT_NE(host::TheMachine().window, nullptr);
    }
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

// A hidden top-level window of its own class, never shown; its loop waits for messages.
TEST_F(Watcher, OneHiddenWindowThatWaits) {
    const host::Machine& m = host::TheMachine();
    ASSERT_EQ(m.registeredClasses.size(), 1u);
    EXPECT_EQ(m.registeredClasses[0].className, kWatcherClassName);
    EXPECT_EQ(m.registeredClasses[0].proc, &WatchWndProc);
    ASSERT_EQ(m.createdWindows.size(), 1u);
    EXPECT_EQ(m.createdWindows[0].parent, nullptr);
    EXPECT_TRUE(m.shownWindows.empty());
    EXPECT_TRUE(m.messageLoopWouldBlock);
    EXPECT_EQ(host::CountCalls("MessageBoxA"), 0u);
}

// A second watcher of the session finds the first and leaves at once with 0, making nothing.
TEST_F(Watcher, ASecondOneLeavesAtOnce) {
    EXPECT_EQ(WatchMain(kInstance), 0);
    EXPECT_EQ(host::TheMachine().registeredClasses.size(), 1u);
    EXPECT_EQ(host::TheMachine().createdWindows.size(), 1u);
    EXPECT_EQ(host::CountCalls("GetMessageA"), 1u);
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
// the watcher does not wait for it and keeps no handle of it.
TEST_F(Watcher, StartsTheUtilityBesideItself) {
    host::TheMachine().moduleFileName = "D:\\LUMAREL TOOLS\\LUMWATCH.EXE";
    Send(WM_DISPLAYCHANGE, 16);
    Wait(kSettleMilliseconds);
    const host::Machine& m = host::TheMachine();
    ASSERT_EQ(Runs(), 1u);
    EXPECT_EQ(m.startedProcesses[0].application, std::string("D:\\LUMAREL TOOLS\\") + kUtilityFileName);
    EXPECT_FALSE(m.startedProcesses[0].commandLine);
    EXPECT_TRUE(m.openObjects.empty());
    EXPECT_TRUE(m.adapter.trace.empty());
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
    for (WPARAM event : {0u, 4u, 5u, 6u, 7u, 0xAu, 0x12u}) {
        EXPECT_EQ(Send(WM_POWERBROADCAST, event), host::kDefWindowProcAnswer) << event;
    }
    EXPECT_EQ(Send(WM_TIMER, kRunTimer + 1), host::kDefWindowProcAnswer);
    EXPECT_EQ(Send(WM_DISPLAYCHANGE, 16), host::kDefWindowProcAnswer);
}

// The end of the session destroys the window, which ends the loop with exit code 0; a session
// that goes on changes nothing.
TEST_F(Watcher, EndsWithTheSession) {
    host::Machine& m = host::TheMachine();
    EXPECT_EQ(Send(WM_ENDSESSION, FALSE), 0);
    EXPECT_NE(m.window, nullptr);
    EXPECT_FALSE(m.quitPending);
    EXPECT_EQ(Send(WM_ENDSESSION, TRUE), 0);
    EXPECT_EQ(m.window, nullptr);
    EXPECT_TRUE(m.quitPending);
    EXPECT_EQ(m.quitCode, 0);
}

} // namespace
