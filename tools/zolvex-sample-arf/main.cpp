// zolvex-sample-arf: writes the sample animation effect (stars and a heart drawn by
// code) as an ".arf" file, for the demo project and for trying the studio's import.
//
//   zolvex-sample-arf <path>      (".arf" is added unless the path ends in it)
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "filter/animation/AnimationFile.h"
#include "tools/common/SampleEffect.h"

int main(int argc, char** argv)
{
    if (argc != 2 || !argv[1][0]) {
        std::fprintf(stderr, "usage: zolvex-sample-arf <path>\n");
        return 2;
    }
    tagROMANCE_EFFECT2* effect = MakeSampleAnimationEffect();
    if (!effect) {
        std::fprintf(stderr, "zolvex-sample-arf: out of memory while drawing the sample effect\n");
        return 1;
    }
    std::string path = argv[1];
    if (path.size() < 4 || path.compare(path.size() - 4, 4, ".arf") != 0)
        path += ".arf";
    const bool ok = WriteAnimationEffect(effect, argv[1]);
    const int error = errno;
    int frames = 0, points = 0;
    for (int i = 0; i < effect->pActors->GetSize(); ++i) {
        frames += effect->pActors->GetAt(uint32_t(i))->nFrames;
        points += effect->pActors->GetAt(uint32_t(i))->nGuidePoints;
    }
    const int symbols = effect->nSymbols;
    FreeAnimationEffect(effect);
    if (!ok) {
        std::fprintf(stderr, "zolvex-sample-arf: cannot write %s: %s\n", path.c_str(), std::strerror(error));
        return 1;
    }
    struct stat st;
    const long long bytes = stat(path.c_str(), &st) == 0 ? (long long)st.st_size : -1;
    std::printf("wrote %s: %lld bytes, %d symbols, %d pictures of %d x %d, %d guide points\n", path.c_str(),
                bytes, symbols, frames, kSampleSpriteSize, kSampleSpriteSize, points);
    return 0;
}
