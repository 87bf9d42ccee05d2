#include "tests/support/Golden.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "tools/common/SyntheticPicture.h"

namespace zolvex {
namespace test {

std::string GoldenLine(const std::string& key, const unsigned char* data, size_t size)
{
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08x", testpic::Crc32(data, size));
    return key + " crc=" + crc;
}

std::string CheckGolden(const std::string& file, const std::vector<std::string>& lines)
{
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string suite = test ? test->test_suite_name() : "";
    const std::string kEnding = "Golden";
    if (suite.size() < kEnding.size() || suite.compare(suite.size() - kEnding.size(), kEnding.size(), kEnding) != 0)
        return "the comparison with " + file + " runs in suite \"" + suite +
               "\", which make regen-golden skips: golden suites are named *Golden";
    const std::string path = std::string(ZOLVEX_REF_DIR) + "/" + file;
    const char* update = std::getenv("ZOLVEX_UPDATE_REFS");
    if (update && *update && std::string(update) != "0") {
        std::ofstream out(path, std::ios::trunc);
        for (const std::string& l : lines)
            out << l << "\n";
        out.close();
        return out ? std::string() : "cannot write " + path;
    }

    std::ifstream in(path);
    if (!in)
        return "missing reference file " + path + " (make regen-golden writes it)";
    std::map<std::string, std::string> expected;  // key → whole line
    std::string line;
    while (std::getline(in, line)) {
        const size_t at = line.rfind(" crc=");
        if (at != std::string::npos)
            expected[line.substr(0, at)] = line;
    }
    std::ostringstream diff;
    for (const std::string& l : lines) {
        const std::string key = l.substr(0, l.rfind(" crc="));
        auto it = expected.find(key);
        if (it == expected.end())
            diff << "  new:      " << l << "\n";
        else if (it->second != l)
            diff << "  expected: " << it->second << "\n  got:      " << l << "\n";
        if (it != expected.end())
            expected.erase(it);
    }
    for (const auto& gone : expected)
        diff << "  missing:  " << gone.second << "\n";
    return diff.str();
}

}  // namespace test
}  // namespace zolvex
