#include "tests/support/TestMedia.h"

#include <stdlib.h>

#include <cstdlib>
#include <utility>

#include "tests/support/Command.h"

namespace zolvex {
namespace testsupport {

TestMedia::TestMedia(std::string name, std::vector<std::string> tools)
    : name_(std::move(name)), tools_(std::move(tools))
{
}

bool TestMedia::Open()
{
    std::string pattern = "/tmp/zolvex-" + name_ + "-XXXXXX";
    if (!mkdtemp(&pattern[0])) {
        fault_ = "the scratch folder " + pattern + " could not be made";
        return false;
    }
    dir_ = pattern;
    missing_.clear();
    for (const std::string& tool : tools_)
        if (!HaveTool(tool))
            missing_ += (missing_.empty() ? "" : " and ") + tool;
    return true;
}

bool TestMedia::Run(const std::vector<std::string>& commands)
{
    if (!Ready())
        return false;
    // Each command in a subshell of its own, all started before the first is waited
    // for: each encoder has little to do. The shell names the commands that failed.
    std::string script = "cd " + Quote(dir_) + " || exit 1\n";
    for (size_t k = 0; k < commands.size(); ++k)
        script += "( " + commands[k] + " ) </dev/null 2>&1 & p" + std::to_string(k) + "=$!\n";
    script += "failed=0\n";
    for (size_t k = 0; k < commands.size(); ++k)
        script += "wait $p" + std::to_string(k) + " || { echo \"@failed " + std::to_string(k) + "\"; failed=1; }\n";
    script += "exit $failed\n";
    int status = -1;
    const std::string output = Capture(script, &status);
    if (status == 0)
        return true;
    std::string which;
    for (size_t k = 0; k < commands.size(); ++k)
        if (output.find("@failed " + std::to_string(k) + "\n") != std::string::npos)
            which += "\n  " + commands[k];
    Fail("making the test media failed:" + (which.empty() ? std::string(" the shell did not run") : which) +
         "\n" + output);
    return false;
}

void TestMedia::Fail(const std::string& why)
{
    if (fault_.empty())
        fault_ = why;
}

void TestMedia::Remove()
{
    // ZOLVEX_KEEP_MEDIA keeps the folder for a look after a failure.
    if (!dir_.empty() && !std::getenv("ZOLVEX_KEEP_MEDIA"))
        Capture("rm -rf " + Quote(dir_));
    dir_.clear();
}

std::string TestMedia::Why() const
{
    if (!fault_.empty())
        return fault_;
    if (dir_.empty())
        return "the test media was not made";
    if (!missing_.empty())
        return missing_ + (missing_.find(" and ") == std::string::npos ? " is" : " are") +
               " missing, so there is no test media (scripts/install-deps)";
    return std::string();
}

MediaEnvironment::MediaEnvironment(TestMedia& media, std::function<void(TestMedia&)> make)
    : media_(media), make_(std::move(make))
{
}

void MediaEnvironment::SetUp()
{
    if (media_.Open())
        make_(media_);
}

void MediaEnvironment::TearDown() { media_.Remove(); }

::testing::Environment* AddMediaEnvironment(TestMedia& media, std::function<void(TestMedia&)> make)
{
    return ::testing::AddGlobalTestEnvironment(new MediaEnvironment(media, std::move(make)));
}

bool MediaRequired()
{
    const char* v = std::getenv("ZOLVEX_REQUIRE_MEDIA");
    return v && *v && std::string(v) != "0";
}

}  // namespace testsupport
}  // namespace zolvex
