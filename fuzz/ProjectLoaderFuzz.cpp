// libFuzzer target for the project file reader. Whatever the bytes, reading stops
// cleanly; a file that reads whole is written again and must read back to the very
// same bytes, so the writer and the reader check each other.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "studio/project/ProjectFile.h"

using zolvex::studio::ProjectModel;
using zolvex::studio::ProjectStore;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<unsigned char> bytes(data, data + size);
    ProjectModel model;
    if (!ProjectStore::Parse(bytes, model))
        return 0;
    const std::vector<unsigned char> again = ProjectStore::Serialise(model, 1.0f, 1.0f);
    ProjectModel reread;
    if (!ProjectStore::Parse(again, reread) || ProjectStore::Serialise(reread, 1.0f, 1.0f) != again) {
        std::fprintf(stderr, "project fuzz: a written project does not read back the same\n");
        std::abort();
    }
    return 0;
}
