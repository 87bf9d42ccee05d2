// Reading a whole file of data into memory: pictures, projects, animation
// containers. Only a regular file is read, and opening it never blocks, so that a
// FIFO or a device under such a name cannot stall the program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Export.h"

namespace zolvex {

// Reads all of `path` into bytes. A file that shrinks while it is read gives what it
// still had; an empty file gives no bytes and true. False, with bytes empty and *why
// (when given) saying why in a few words: the file is missing, is not a regular file,
// holds more than maxBytes, or cannot be read, or there is no memory for it.
ZVF_API bool ReadRegularFile(const char* path, uint64_t maxBytes, std::vector<unsigned char>& bytes,
                     std::string* why = nullptr);

}  // namespace zolvex
