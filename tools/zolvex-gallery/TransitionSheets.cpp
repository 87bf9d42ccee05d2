// The sheet of the transitions.
#include <cstdio>

#include "filter/transitions/fTavTransition.h"
#include "tools/common/SyntheticPicture.h"
#include "tools/zolvex-gallery/Sheet.h"

namespace gallery {

// The studio's transition thumbnails are 160 × 120.
bool TransitionSheet(const std::string& folder)
{
    const int w = 160, h = 120;
    const double moments[] = {0.0, 0.25, 0.5, 0.75, 1.0};
    const Frame a = zolvex::testpic::MakeTestPicture(w, h, 3);
    const Frame b = zolvex::testpic::MakeSecondPicture(w, h, 3);
    std::vector<Cell> cells;
    for (int id = 1; id <= GetTransitionCount(); ++id)
        for (double p : moments) {
            CfTavTransition t;
            t.InitTransfer(tagSIZE{w, h}, 3, 1.0);
            t.SetCurTransferTime(p);
            t.SetCurTransferID(id);
            Frame o(a.size());
            t.Transfer(a.data(), b.data(), o.data());
            char label[96];
            std::snprintf(label, sizeof label, "%d %s %.2f", id, GetTransitionName(id), p);
            cells.push_back(Cell{label, o});
        }
    return WriteSheet(folder + "/transitions.png", cells, w, h, 5);
}

}  // namespace gallery
