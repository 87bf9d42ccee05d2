// Frames of the demo project: scenes, transitions, titles, an animated picture,
// effects and a 3D screen together, as the movie will show them.
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>

#include "filter/timeline/video/TavmRenderer.h"
#include "tools/common/DemoProject.h"
#include "tools/zolvex-gallery/Sheet.h"

namespace gallery {

bool DemoSheet(const std::string& folder)
{
    char pattern[] = "/tmp/zolvex-demo-XXXXXX";
    if (!mkdtemp(pattern)) {
        std::fprintf(stderr, "zolvex-gallery: cannot make a folder for the demo media\n");
        return false;
    }
    const std::string media = pattern;
    const int w = 360, h = 288;
    bool ok = false;
    {
        zolvex::demo::DemoProject demo;
        std::string error;
        if (!demo.Build(media, w, h, &error)) {
            std::fprintf(stderr, "zolvex-gallery: demo project: %s\n", error.c_str());
        } else {
            zolvex::CTavmRenderer renderer(w, h);
            renderer.SetSrcVideoSize(w, h);
            renderer.SetDisplayAspect(4, 3);
            renderer.SetAniFrameRate(25);
            renderer.SetSideLists(demo.Sides());
            renderer.SetTimeline(demo.Lists(), 1.0);
            Frame out(size_t(w) * h * 3);
            renderer.SetOutputBuffer(out.data());
            const double moments[] = {0.5, 2.0, 3.5, 5.2, 5.6, 6.5, 7.4, 9.2, 9.6, 10.5, 11.8, 12.9};
            std::vector<Cell> cells;
            size_t next = 0;
            // Frame by frame at 25 frames per second, so that animations move as in a movie.
            for (int f = 0; next < sizeof moments / sizeof moments[0]; ++f) {
                const double t = f / 25.0;
                renderer.ClearFrame(out.data());
                renderer.RenderFrame(int64_t(f) * 400000);
                if (t + 1e-9 >= moments[next]) {
                    char label[32];
                    std::snprintf(label, sizeof label, "%.1f s", t);
                    cells.push_back(Cell{label, out});
                    ++next;
                }
            }
            ok = WriteSheet(folder + "/demo-timeline.png", cells, w, h, 4);
        }
    }
    std::system(("rm -rf '" + media + "'").c_str());
    return ok;
}

}  // namespace gallery
