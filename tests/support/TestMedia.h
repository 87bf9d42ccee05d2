// Media the tests make for themselves with the ffmpeg command: a scratch folder under
// /tmp, the commands that fill it, and the check each test starts with.
//
// Without the tools a test that needs the media is skipped; with
// ZOLVEX_REQUIRE_MEDIA=1 (as `make test` sets it) it fails instead, so that a
// machine without ffmpeg never passes the run by skipping. A command that fails
// while the tools are there always fails the tests that need its media.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace zolvex {
namespace testsupport {

class TestMedia {
public:
    // `name` goes into the folder's name; `tools` are the commands the media is
    // made or checked with.
    explicit TestMedia(std::string name, std::vector<std::string> tools = {"ffmpeg"});
    TestMedia(const TestMedia&) = delete;
    TestMedia& operator=(const TestMedia&) = delete;

    // Makes /tmp/zolvex-<name>-XXXXXX and looks for the tools. The folder is made
    // even when the tools are missing, for the files tests write on their own.
    // False when there is no folder.
    bool Open();
    // Runs the shell commands side by side, each in the folder; false when the tools
    // are missing or any command fails (its output goes into Why()).
    bool Run(const std::vector<std::string>& commands);
    // Marks the media as not made, for a step of making it that is not a command.
    void Fail(const std::string& why);
    // Removes the folder and all in it. Left to the caller, so that a run can keep
    // what it made on request.
    void Remove();

    const std::string& Dir() const { return dir_; }
    std::string Path(const std::string& file) const { return dir_ + "/" + file; }

    bool Ready() const { return !dir_.empty() && missing_.empty() && fault_.empty(); }
    // Only tools are missing: the test may be skipped.
    bool Missing() const { return !dir_.empty() && !missing_.empty() && fault_.empty(); }
    std::string Why() const;

private:
    std::string name_;
    std::vector<std::string> tools_;
    std::string dir_, missing_, fault_;
};

// Media made once for the whole test program: `make` runs once the folder is made,
// before the first test, and the folder is removed after the last.
class MediaEnvironment : public ::testing::Environment {
public:
    MediaEnvironment(TestMedia& media, std::function<void(TestMedia&)> make);
    void SetUp() override;
    void TearDown() override;

private:
    TestMedia& media_;
    std::function<void(TestMedia&)> make_;
};

// Registers a MediaEnvironment with GoogleTest, as AddGlobalTestEnvironment does
// (at static initialisation).
::testing::Environment* AddMediaEnvironment(TestMedia& media, std::function<void(TestMedia&)> make);

// True when ZOLVEX_REQUIRE_MEDIA is set to anything but "" or "0".
bool MediaRequired();

}  // namespace testsupport
}  // namespace zolvex

// The first statement of a test (or of its fixture's SetUp) that needs `media`.
#define ZOLVEX_REQUIRE_MEDIA(media)                                                                  \
    do {                                                                                             \
        const ::zolvex::testsupport::TestMedia& zolvexMedia_ = (media);                              \
        if (!zolvexMedia_.Ready()) {                                                                 \
            if (zolvexMedia_.Missing() && !::zolvex::testsupport::MediaRequired())                   \
                GTEST_SKIP() << zolvexMedia_.Why();                                                  \
            FAIL() << zolvexMedia_.Why()                                                             \
                   << (zolvexMedia_.Missing() ? " (ZOLVEX_REQUIRE_MEDIA=1 makes missing media a failure)" : ""); \
        }                                                                                            \
    } while (0)
