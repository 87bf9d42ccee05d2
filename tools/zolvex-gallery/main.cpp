// zolvex-gallery: writes PNG contact sheets of what the rendering library draws, so
// that a person can look at the results.
//
//   zolvex-gallery [output folder]      (default: out/gallery)
//
// static-effects.png          every static effect on the built-in test picture
// static-effects-polygon.png  the same, confined to a polygon
// further-effects.png         the further picture effects
// overlays.png                a sprite laid over the test picture at several zooms and
//                             angles, and the studio's border preview
// transitions.png             every transition at five moments between two pictures
// titles.png                  the animated titles at several moments
// animation.png               ten frames of the sample animation effect
// screen3d.png                the 25 shapes of the 3D screen
// demo-timeline.png           frames of the demo project (media made with ffmpeg)
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/zolvex-gallery/Sheet.h"

namespace {

bool MakeFolder(const std::string& path)
{
    std::string partial;
    for (size_t k = 0; k <= path.size(); ++k) {
        if (k == path.size() || path[k] == '/') {
            if (!partial.empty() && mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) {
                std::fprintf(stderr, "zolvex-gallery: cannot create folder %s: %s\n", partial.c_str(),
                             std::strerror(errno));
                return false;
            }
        }
        if (k < path.size())
            partial += path[k];
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string folder = argc > 1 ? argv[1] : "out/gallery";
    if (!MakeFolder(folder))
        return 1;
    bool ok = gallery::StaticEffectSheets(folder);
    ok = gallery::FurtherEffectSheet(folder) && ok;
    ok = gallery::OverlaySheet(folder) && ok;
    ok = gallery::TransitionSheet(folder) && ok;
    ok = gallery::TitleSheet(folder) && ok;
    ok = gallery::AnimationSheet(folder) && ok;
    ok = gallery::ScreenSheet(folder) && ok;
    ok = gallery::DemoSheet(folder) && ok;
    return ok ? 0 : 1;
}
