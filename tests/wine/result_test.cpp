// The debugger's result: run_cases.py compares it with refresh-sim --json, so its texts must keep
// the program's exact code units and its accesses the form refresh-sim writes.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>

#include "result.h"

namespace {

// A text as it appears in the result.
std::string Written(const std::string& utf8) {
    return nlohmann::json(utf8).dump(-1, ' ', true);
}

TEST(Result, TextsKeepTheCodeUnits) {
    struct Case {
        const char* what;
        std::string text;
        std::string written;
    } cases[] = {
        {"ASCII", TextFromBytes("Open System.ini error!"), R"("Open System.ini error!")"},
        {"CR LF and quotes", TextFromBytes("a\r\n\"b\"\\"), R"("a\r\n\"b\"\\")"},
        {"control bytes", TextFromBytes(std::string("\x00\x01\x1f\x7f", 4)), R"("\u0000\u0001\u001f\u007f")"},
        {"ANSI bytes stay bytes", TextFromBytes("\x80\xa9\xe9\xff"), R"("\u0080\u00a9\u00e9\u00ff")"},
        {"UTF-16 units", TextFromUtf16(u"A\u00e9\u4e2d"), R"("A\u00e9\u4e2d")"},
        {"UTF-16 pair", TextFromUtf16(u"\U0001F600"), R"("\ud83d\ude00")"},
        {"unpaired surrogates", TextFromUtf16(std::u16string{0xD800, u'x', 0xDC00}), R"("\ufffdx\ufffd")"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Written(c.text), c.written) << c.what;
    }
}

TEST(Result, EveryKeyInItsPlace) {
    RunResult r;
    r.exitCode = 0;
    r.messageBoxes.push_back({TextFromBytes("Open System.ini error!"), TextFromBytes(""), 0x10, true});
    r.messageBoxes.push_back({std::nullopt, std::nullopt, 0, false});
    r.standardOutput   = "Unable to open VxD, Error code: 2\r\n";
    r.accesses         = {{adapter::Op::Out, 0x3D4, 0x75, false},
                          {adapter::Op::In, 0x3D5, 0x00, false},
                          {adapter::Op::Load, 0x60000003, 0x5B, false},
                          {adapter::Op::Store, 0x60000003, 0x1C, false}};
    r.driverCalls      = {{3, 8, 8, true, 0, 0x60000000, 0x10000}};
    r.changedRegisters = {"CRTC index", "window 3"};
    r.screen           = {1024, 768, 16, 60};
    r.crash            = Crash{0xC0000005, 0x00401000};
    r.error            = "timeout after 30000 ms";

    std::string text = ResultJson(r);
    for (char c : text) {
        ASSERT_LT(static_cast<unsigned char>(c), 0x80) << "plain ASCII";
    }
    ASSERT_EQ(text.back(), '\n');
    nlohmann::ordered_json j    = nlohmann::ordered_json::parse(text);
    nlohmann::ordered_json want = {
        {"exitCode", 0},
        {"messageBoxes",
         {{{"text", "Open System.ini error!"}, {"caption", ""}, {"type", 16}, {"dismissed", true}},
          {{"text", nullptr}, {"caption", nullptr}, {"type", 0}, {"dismissed", false}}}},
        {"stdout", "Unable to open VxD, Error code: 2\r\n"},
        {"stderr", ""},
        {"accesses",
         {{{"op", "out"}, {"port", 0x3D4}, {"value", 0x75}},
          {{"op", "in"}, {"port", 0x3D5}, {"value", 0x00}},
          {{"op", "load"}, {"address", 0x60000003}, {"value", 0x5B}},
          {{"op", "store"}, {"address", 0x60000003}, {"value", 0x1C}}}},
        {"driverCalls",
         {{{"code", 3},
           {"inSize", 8},
           {"outSize", 8},
           {"ok", true},
           {"error", 0},
           {"base", 0x60000000},
           {"size", 0x10000}}}},
        {"changedRegisters", {"CRTC index", "window 3"}},
        {"screen", {{"width", 1024}, {"height", 768}, {"bitsPerPixel", 16}, {"refresh", 60}}},
        {"crash", {{"code", 0xC0000005u}, {"address", 0x00401000}}},
        {"error", "timeout after 30000 ms"},
    };
    EXPECT_EQ(j, want);
}

TEST(Result, CleanRunHasNullCrashAndError) {
    RunResult r;
    nlohmann::json j = nlohmann::json::parse(ResultJson(r));
    EXPECT_TRUE(j["crash"].is_null());
    EXPECT_TRUE(j["error"].is_null());
    EXPECT_EQ(j["messageBoxes"], nlohmann::json::array());
    EXPECT_EQ(j["accesses"], nlohmann::json::array());
}

// A followed run: the watcher's own result as ever, with its process and, in the order they were
// created, the results of the processes it started, each of its own.
TEST(Result, FollowedRunNamesEachProcessAndItsChildren) {
    RunResult child;
    child.exitCode = 0;
    child.accesses = {{adapter::Op::In, 0x3D5, 0x00, false}};
    child.screen   = {800, 600, 16, 60};
    child.process = ProcessInfo{0x44, "C:\\windows\\LUMRATE.EXE", "\"C:\\windows\\LUMRATE.EXE\"", 5000, 7500};

    RunResult root;
    root.process  = ProcessInfo{0x40, "C:\\windows\\LUMWATCH.EXE", "C:\\windows\\LUMWATCH.EXE", 1000, 9000};
    root.followed = true;
    root.children = {child, RunResult{}};

    nlohmann::ordered_json j = nlohmann::ordered_json::parse(ResultJson(root));
    EXPECT_EQ(j["process"], (nlohmann::ordered_json{{"pid", 0x40},
                                                    {"program", "C:\\windows\\LUMWATCH.EXE"},
                                                    {"commandLine", "C:\\windows\\LUMWATCH.EXE"},
                                                    {"startTick", 1000},
                                                    {"exitTick", 9000}}));
    ASSERT_EQ(j["children"].size(), 2u);
    const auto& first = j["children"][0];
    EXPECT_EQ(first["process"]["program"], "C:\\windows\\LUMRATE.EXE");
    EXPECT_EQ(first["process"]["startTick"], 5000);
    EXPECT_EQ(first["accesses"], nlohmann::ordered_json::parse(R"([{"op":"in","port":981,"value":0}])"));
    EXPECT_EQ(first["screen"]["width"], 800);
    EXPECT_FALSE(first.contains("children")) << "only the followed program lists children";
    EXPECT_FALSE(j["children"][1].contains("process"));
}

} // namespace
