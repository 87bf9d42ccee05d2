// Golden checksum files: one line per rendered picture with its size and CRC, kept
// under tests/ref. Set ZOLVEX_UPDATE_REFS=1 to rewrite them on purpose (make regen-golden).
// The comparisons live in test suites named *Golden, which `make regen-golden` runs
// alone (the programs holding them carry the ctest label "golden").
#pragma once

#include <string>
#include <vector>

namespace zolvex {
namespace test {

// One reference line: "<key> crc=<8 hex digits>".
std::string GoldenLine(const std::string& key, const unsigned char* data, size_t size);

// Compares `lines` with tests/ref/<file>, or rewrites the file when asked to.
// Returns an empty string when they agree, else a description of the differences;
// also a complaint when called from a suite not named *Golden, which regen-golden
// would never run.
std::string CheckGolden(const std::string& file, const std::vector<std::string>& lines);

}  // namespace test
}  // namespace zolvex
