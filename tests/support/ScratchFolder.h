// A folder of the test's own under /tmp, made when the object is and removed, with
// all in it, when it goes.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <string>

namespace zolvex {
namespace testsupport {

class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& name)
    {
        std::string pattern = "/tmp/zolvex-" + name + "-XXXXXX";
        if (mkdtemp(&pattern[0]))
            path_ = pattern + "/";
    }
    ~ScratchFolder()
    {
        if (!path_.empty())
            std::system(("rm -rf '" + path_ + "'").c_str());
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // With its final "/"; empty when it could not be made.
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

}  // namespace testsupport
}  // namespace zolvex
