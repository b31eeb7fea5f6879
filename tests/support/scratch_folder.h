// A folder of one test's own for the files it hands to a program. ctest -j runs tests side by side,
// and the host, sanitizer and other build trees of the machine share ::testing::TempDir(): a fixed
// name there is one file for all of them, which one test removes while another still reads it.
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace support {

class ScratchFolder {
  public:
    // TempDir()/<suite>.<test>.XXXXXX, made anew for each test that creates one.
    ScratchFolder() {
        const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name                = ::testing::TempDir() + "scratch.XXXXXX";
        if (test != nullptr) {
            name = ::testing::TempDir() + test->test_suite_name() + "." + test->name() + ".XXXXXX";
        }
        if (mkdtemp(name.data()) != nullptr) {
            path_ = name + "/";
        }
        EXPECT_FALSE(path_.empty()) << "cannot make a folder like " << name;
    }
    ~ScratchFolder() {
        if (!path_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(path_, ignored);
        }
    }
    ScratchFolder(const ScratchFolder&)            = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // The folder, ending in a slash; empty where it could not be made.
    const std::string& Path() const { return path_; }
    // A file's path inside it.
    std::string File(const std::string& name) const { return path_ + name; }

  private:
    std::string path_;
};

} // namespace support
