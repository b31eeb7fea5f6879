// refresh-sim's command line is an interface other checks rely on: its options, its JSON shape,
// and its refusal of bad input.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace {

struct Outcome {
    int exitCode;
    std::string out;
};

Outcome RunSim(const std::string& arguments) {
    std::string command = std::string(REFRESH_SIM_PATH) + " " + arguments + " 2>&1";
    FILE* pipe          = popen(command.c_str(), "r");
    std::string out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        out.append(buffer, n);
    }
    int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

nlohmann::json RunJson(const std::string& arguments) {
    Outcome o = RunSim("--json " + arguments);
    EXPECT_EQ(o.exitCode, 0) << o.out;
    return nlohmann::json::parse(o.out);
}

TEST(RefreshSim, DefaultMachineIsTheTypicalRun) {
    Outcome o = RunSim("");
    ASSERT_EQ(o.exitCode, 0);
    EXPECT_NE(o.out.find("message boxes: none"), std::string::npos);
    EXPECT_NE(o.out.find("exit code: 0"), std::string::npos);
    EXPECT_NE(o.out.find("CRTC 0x00 (horizontal total) <- A7"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("CRTC 0x13 (offset) <- 00"), std::string::npos);
    EXPECT_NE(o.out.find("window 0x60000003 <- 1C"), std::string::npos);
    EXPECT_NE(o.out.find("summary: mode index 4, rate index 2, depth class 1, rate slot 2"),
              std::string::npos);
}

TEST(RefreshSim, JsonShape) {
    nlohmann::json j = RunJson("--screen 640x480 --bpp 8 --rate 120");
    EXPECT_EQ(j["exitCode"], 0);
    EXPECT_TRUE(j["messageBoxes"].is_array());
    EXPECT_EQ(j["stdout"], "");
    ASSERT_TRUE(j["accesses"].is_array());
    const nlohmann::json& first = j["accesses"][0];
    EXPECT_EQ(first, (nlohmann::json{{"op", "out"}, {"port", 0x3D4}, {"value", 0x75}}));
    const nlohmann::json& last = j["accesses"].back();
    EXPECT_EQ(last, (nlohmann::json{{"op", "store"}, {"address", 0x60000000}, {"value", 0x00}}));
    EXPECT_EQ(j["registers"]["crtc"]["0x13"], 0x50);
}

TEST(RefreshSim, OptionsReachTheMachine) {
    struct Case {
        const char* arguments;
        const char* expectStdout;
        const char* expectBoxText;
        size_t accessCount;
    } cases[] = {
        {"--driver missing", "Unable to open VxD, Error code: 2\n", nullptr, 2 * 2 + 2 * 24 + 2},
        {"--driver=unsupported", "Unable to open VxD, \n device does not support DeviceIOCTL\n", nullptr, 54},
        {"--driver ioctl-fails", "", "Can not map physical to linear address", 54},
        {"--driver null-window", "", nullptr, 54},
        {"--driver no-output", "", nullptr, 54},
        {"--no-system-ini", "", "Open System.ini error!", 0},
        {"--crtc75 0x20", "", nullptr, 2},
        {"--crtc75=32", "", nullptr, 2},
        {"--bpp 4", "", nullptr, 2},
        {"--screen 1920x1080", "", nullptr, 2},
        {"--screen 0x400x0x300 --no-rate", "", nullptr, 58},
    };
    for (const Case& c : cases) {
        nlohmann::json j = RunJson(c.arguments);
        EXPECT_EQ(j["stdout"], c.expectStdout) << c.arguments;
        if (c.expectBoxText == nullptr) {
            EXPECT_TRUE(j["messageBoxes"].empty()) << c.arguments;
        } else {
            ASSERT_EQ(j["messageBoxes"].size(), 1u) << c.arguments;
            EXPECT_EQ(j["messageBoxes"][0]["text"], c.expectBoxText);
            EXPECT_EQ(j["messageBoxes"][0]["caption"], "");
        }
        EXPECT_EQ(j["accesses"].size(), c.accessCount) << c.arguments;
    }
}

// The rate text goes to the registry as given, even empty or starting with a minus.
TEST(RefreshSim, RateTextsAsGiven) {
    EXPECT_NE(RunJson("--screen 1152x864 --rate=").dump().find("rate index 3"), std::string::npos);
    EXPECT_NE(RunJson("--rate=-1").dump().find("rate index 0"), std::string::npos);
    EXPECT_NE(RunJson("--no-settings-key --screen 1600x1200").dump().find("rate index 2"), std::string::npos);
}

TEST(RefreshSim, BadInputIsOneLineOnStderrAndExitTwo) {
    const char* bad[] = {"--bpp many",
                         "--screen 1024",
                         "--crtc75 256",
                         "--driver gone",
                         "--no-rate --rate 60",
                         "--frobnicate",
                         "--system-ini /nonexistent/system.ini",
                         "--no-system-ini --system-ini x"};
    for (const char* arguments : bad) {
        Outcome o = RunSim(arguments);
        EXPECT_EQ(o.exitCode, 2) << arguments;
        EXPECT_EQ(std::count(o.out.begin(), o.out.end(), '\n'), 1) << arguments << ": " << o.out;
    }
}

} // namespace
