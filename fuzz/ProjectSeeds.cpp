// Writes seed project files for the project reader's fuzzer: an empty project and
// one with two scenes and an object of every kind that needs no picture file.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "studio/project/ProjectFile.h"

using namespace zolvex;
using namespace zolvex::studio;

namespace {

void Write(const std::string& path, const std::vector<unsigned char>& bytes)
{
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: project_seeds <folder>\n");
        return 2;
    }
    const std::string folder = argv[1];
    ProjectModel model;
    model.header = ProjectHeader{720, 576, 4, 3};
    Write(folder + "/empty.mpf", ProjectStore::Serialise(model, 1.0f, 1.0f));

    MediaItem item;
    std::memset(&item, 0, sizeof item);
    std::snprintf(item.szPath, sizeof item.szPath, "/media/clip.mpg");
    item.nKind = MEDIA_VIDEO;
    SceneRecord record;
    std::memset(&record, 0, sizeof record);
    std::snprintf(record.szPath, sizeof record.szPath, "/media/clip.mpg");
    record.nMediaType = MEDIA_TYPE_VIDEO;
    model.AppendScene(item, MediaThumbnail{0xFF, 0xD8, 0xFF, 0xD9}, record, SceneSpan{0.0, 2.0}, 1);
    model.AppendScene(item, MediaThumbnail{}, record, SceneSpan{1.0, 3.0}, 0);
    model.AppendObject(OBJ_TEXT, new TextOp(), 0);
    model.AppendObject(OBJ_SCREEN3D, new ScreenOp(), 0);
    tagOPR_EFFECT* effect = new tagOPR_EFFECT();
    effect->pValidPolygon = new TrackPoints(5);
    effect->pValidPolygon->Add(tagSIZE{10, 20});
    effect->pValidPolygon->Add(tagSIZE{300, 200});
    model.AppendObject(OBJ_EFFECT, effect, 0);
    model.AppendObject(OBJ_MUSIC, new AudioOp(), 0);
    model.AppendObject(OBJ_ANIMATION, new AnimationObject(), 0);
    Write(folder + "/every.mpf", ProjectStore::Serialise(model, 1.0f, 1.0f));
    return 0;
}
