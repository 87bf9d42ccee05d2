// zolvex-demo: makes a complete demo project from media it generates itself, for
// trying the studio and the renderer on a machine that holds no videos.
//
//   zolvex-demo FOLDER
//   zolvex-demo --footage FOLDER MINUTES CLIP_A CLIP_B
//
// FOLDER/media/ receives two movies written with the studio's own encoder (MPEG-2 in
// a program stream, MPEG-4 in AVI), a JPEG landscape, a PNG flower, an animated GIF,
// a melody as WAV and the sample animation effect as ".arf". FOLDER/Data/ becomes a
// studio data folder: the effect is installed in its animation library and the
// project "Demo" is saved as Data/Demo/Demo.mpf. Running it again over the same
// folder makes everything afresh.
//
// With --footage it makes no media: it lays two clips of the user's (camcorder
// footage, say) end to end, alternating, for MINUTES minutes, with a one-second fade
// into every clip after the first and a title over the first five seconds, and saves
// that as the project "FootageMINUTES" in FOLDER/Data/. The render benchmark uses it.
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "filter/animation/AnimationFile.h"
#include "filter/animation/AnimationRecords.h"
#include "filter/effects/fTavEffect.h"
#include "filter/media/AnimatedPicture.h"
#include "filter/timeline/model/TimelineRecords.h"
#include "studio/maker/AnimationLibrary.h"
#include "studio/project/DataFolder.h"
#include "studio/project/MediaImport.h"
#include "studio/project/MediaItems.h"
#include "studio/project/ProjectDatabase.h"
#include "studio/project/ProjectFile.h"
#include "studio/project/ProjectModel.h"
#include "studio/project/ProjectRecords.h"
#include "studio/project/ScreenLibrary.h"
#include "platform/ReadFile.h"
#include "tools/common/SampleEffect.h"
#include "tools/zolvex-demo/DemoMedia.h"

using namespace zolvex;
using namespace zolvex::demomaker;
using namespace zolvex::studio;

namespace {

// Record text fields hold 260 bytes with the final NUL.
constexpr size_t kLongestPath = 259;
constexpr int kPictureSeconds = 7;  // the picture play time the pictures were placed with
const char kProjectName[] = "Demo";

const char* const kTransitionNames[29] = {
    "none", "Fade", "Fade/Zoom In", "Fade/Zoom Out", "Erase From Left", "Erase From Right", "Erase From Top",
    "Erase From Bottom", "Cross In", "Cross Out", "Upper Left Rectangle", "Upper Right Rectangle", "Rectangle",
    "Mini Rectangle", "Ellipse", "Mini Ellipse", "Swing Side Left Out", "Swing Side Right Out", "Swing Side Top Out",
    "Swing Side Bottom Out", "Change Left To Right", "Change Right To Left", "Side Top To Bottom",
    "Side Bottom To Top", "Center Slip In", "Center Slip Out", "Rotate Out", "Rotate In", "Clock"};

struct Paths {
    std::string root, media, data;
    std::string bay, bubbles, landscape, flower, butterfly, music, effect;
    std::string project, library;
};

std::runtime_error Failure(const std::string& text) { return std::runtime_error(text); }

long long FileSize(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? (long long)st.st_size : -1;
}

// The folder as an absolute path without ".", ".." or doubled slashes, worked out
// from the text alone so that nothing is made before every path has been checked.
std::string Absolute(const std::string& folder)
{
    std::string text = folder;
    if (text[0] != '/') {
        char cwd[PATH_MAX];
        if (!getcwd(cwd, sizeof cwd))
            throw Failure("cannot tell the current folder: " + std::string(std::strerror(errno)));
        text = std::string(cwd) + "/" + folder;
    }
    std::vector<std::string> parts;
    size_t at = 0;
    while (at < text.size()) {
        const size_t slash = text.find('/', at);
        const std::string part = text.substr(at, slash == std::string::npos ? std::string::npos : slash - at);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        at = slash == std::string::npos ? text.size() : slash + 1;
    }
    std::string out;
    for (const std::string& part : parts)
        out += "/" + part;
    return out;
}

// Every path the project's records will hold, each checked against the record
// fields; then the folders are made.
Paths Resolve(const std::string& folder)
{
    Paths p;
    p.root = Absolute(folder);
    p.media = p.root + "/media/";
    p.data = p.root + "/Data/";
    p.bay = p.media + "bay-at-sunset.mpg";
    p.bubbles = p.media + "bubbles.avi";
    p.landscape = p.media + "mountain-lake.jpg";
    p.flower = p.media + "pink-flower.png";
    p.butterfly = p.media + "butterfly.gif";
    p.music = p.media + "melody.wav";
    p.effect = p.media + "stars-and-heart.arf";
    p.project = p.data + kProjectName + "/" + kProjectName + ".mpf";
    p.library = p.data + AnimationLibrary::kTemporaryName;  // the longer of the library's two names
    for (const std::string* path : {&p.bay, &p.bubbles, &p.landscape, &p.flower, &p.butterfly, &p.music, &p.effect,
                                    &p.project, &p.library})
        if (path->size() > kLongestPath)
            throw Failure("the path " + *path + " is " + std::to_string(path->size()) +
                          " bytes long; project records hold at most " + std::to_string(kLongestPath) +
                          ": choose a folder with a shorter path");
    struct stat st;
    if (stat(p.root.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
        throw Failure(p.root + " is a file, not a folder");
    if (!MakeFolders(p.media) || !MakeFolders(p.data))
        throw Failure("cannot create the folders in " + (p.root.empty() ? "/" : p.root) + ": " + std::strerror(errno));
    return p;
}

// Save failures reach the user as messages; here they go to standard error.
struct ErrorPrompt : IPrompt {
    int Show(const std::string& text, const std::string& title, PromptIcon, PromptButtons) override
    {
        std::fprintf(stderr, "zolvex-demo: %s: %s\n", title.c_str(), text.c_str());
        return kAnswerOk;
    }
};

void MakeMedia(const Paths& p, int* gifFrames)
{
    std::string error;
    std::printf("  writing %s ...\n", p.bay.c_str());
    std::fflush(stdout);
    if (!WriteBayClip(p.bay, &error))
        throw Failure(error);
    std::printf("  writing %s ...\n", p.bubbles.c_str());
    std::fflush(stdout);
    if (!WriteBubbleClip(p.bubbles, &error))
        throw Failure(error);
    if (!WriteLandscape(p.landscape, &error) || !WriteFlower(p.flower, &error) ||
        !WriteButterflyGif(p.butterfly, gifFrames, &error) || !WriteMusic(p.music, &error))
        throw Failure(error);

    tagROMANCE_EFFECT2* effect = MakeSampleAnimationEffect();
    if (!effect)
        throw Failure("out of memory while drawing the sample animation effect");
    const bool written = WriteAnimationEffect(effect, p.effect.c_str());
    const int saved = errno;
    FreeAnimationEffect(effect);
    if (!written)
        throw Failure("cannot write the animation effect " + p.effect + ": " + std::strerror(saved));
}

bool HoldsSample(AnimationLibrary& library)
{
    CTavmArray<void*>* records = library.Records();
    for (int i = 0; i < records->GetSize(); ++i) {
        const void* record = records->GetAt(uint32_t(i));
        GUID guid;
        std::memcpy(&guid, static_cast<const char*>(record) + 20, sizeof guid);  // after the version text
        if (std::memcmp(&guid, &kSampleEffectGuid, sizeof guid) == 0)
            return true;
    }
    return false;
}

// Installs the effect; a library that holds it from an earlier run keeps it.
void InstallEffect(const Paths& p)
{
    AnimationLibrary library(p.data);
    library.Load();
    library.Import(p.effect);
    if (!HoldsSample(library))
        throw Failure("the animation library in " + p.data + " did not take " + p.effect);
}

// A scene as the studio appends one from the media library.
void AddScene(ProjectModel& model, const std::string& path, double in, double out, int transition)
{
    MediaItem item;
    MediaThumbnail thumbnail;
    if (!CreateMediaItem(path.c_str(), item, thumbnail))
        throw Failure("cannot read " + path + " back as a media file");
    const bool picture = item.nKind == MEDIA_PICTURE;
    if (picture)
        item.dDuration = kPictureSeconds;
    else if (item.dDuration > 0 && out > item.dDuration)
        throw Failure(path + " lasts only " + std::to_string(item.dDuration) + " s");
    SceneRecord record;
    std::memset(&record, 0, sizeof record);
    std::snprintf(record.szPath, sizeof record.szPath, "%s", path.c_str());
    record.nSourceWidth = item.nWidth;
    record.nSourceHeight = item.nHeight;
    record.nTransitionID = transition;
    record.nMediaType = picture ? MEDIA_TYPE_PICTURE : MEDIA_TYPE_VIDEO;
    record.dDuration = item.dDuration;
    record.dInPoint = in;
    record.dOutPoint = out;
    if (!model.AppendScene(item, std::move(thumbnail), record, SceneSpan{in, out}, 1))
        throw Failure("out of memory");
}

void Append(ProjectModel& model, int32_t kind, void* record)
{
    if (!model.AppendObject(kind, record, 0))  // the model frees a record it refuses
        throw Failure("out of memory");
}

TextOp* Title(const char* text, int style, double start, double end, int size, int weight, COLORREF colour,
              COLORREF shadow, int x, int y, int order)
{
    TextOp* op = new TextOp();
    std::snprintf(op->szText, sizeof op->szText, "%s", text);
    op->nStyle = style;
    op->dStartTime = start;
    op->dEndTime = end;
    op->lfFont.lfHeight = size * 20 / 15;  // the font size chosen, as the studio stores it
    op->lfFont.lfWeight = weight;
    std::snprintf(op->lfFont.lfFaceName, sizeof op->lfFont.lfFaceName, "DejaVu Sans");
    op->crText = colour;
    op->crShadow = shadow;
    op->nX = x;
    op->nY = y;
    op->nOpacity = 255;
    op->nOrder = order;
    return op;
}

tagOPR_EFFECT* EffectOp(double start, double end, int order)
{
    tagOPR_EFFECT* op = new tagOPR_EFFECT();
    op->dStartTime = start;
    op->dEndTime = end;
    op->nLevel = 50;
    op->nReserved2 = order;  // the order field of an effect record
    op->nOverallOpacity = 255;
    return op;
}

// Everything laid out on the timeline, then saved through the studio's project store.
void BuildProject(const Paths& p, ProjectModel& model, int* gifFrames)
{
    model.name = kProjectName;
    model.header = ProjectHeader{kFrameWidth, kFrameHeight, 4, 3};

    const double picture = kPictureSeconds;
    AddScene(model, p.bay, 0.0, 8.0, 1);              //  0 –  8 s, fading in from black
    AddScene(model, p.landscape, 0.0, picture, 14);   //  8 – 15 s
    AddScene(model, p.bubbles, 0.5, 9.5, 28);         // 15 – 24 s
    AddScene(model, p.flower, 0.0, picture, 12);      // 24 – 31 s
    AddScene(model, p.bay, 0.8, 9.8, 20);             // 31 – 40 s
    const double length = model.TotalLength();

    Append(model, OBJ_TEXT,
           Title("Summer Holidays", 7, 0.8, 7.2, 18, 700, RGB(255, 255, 255), RGB(20, 24, 70), 120, 70,
                 model.ObjectCount()));

    StickerOp* sticker = new StickerOp();
    std::snprintf(sticker->szPath, sizeof sticker->szPath, "%s", p.butterfly.c_str());
    if (!OpenStickerPicture(*sticker)) {
        delete sticker;
        throw Failure("cannot open the animated picture " + p.butterfly);
    }
    *gifFrames = sticker->nFrameCount;
    sticker->dStartTime = 9.0;
    sticker->dEndTime = 23.0;
    sticker->rcDest[0] = 536;  // top right, in output pixels
    sticker->rcDest[1] = 24;
    sticker->rcDest[2] = 160;
    sticker->rcDest[3] = 160;
    sticker->nOrder = model.ObjectCount();
    Append(model, OBJ_PICTURE, sticker);

    Append(model, OBJ_TEXT,
           Title("Sun, sea, mountains and flowers  -  made with Zolvex Video Studio", 3, 16.0, 26.0, 14, 400,
                 RGB(255, 226, 96), RGB(60, 30, 0), 0, 488, model.ObjectCount()));

    // Grey everywhere but a round window on the flower: the track runs round the
    // frame, cuts in to the circle, goes round it and back out the same way.
    tagOPR_EFFECT* grey = EffectOp(25.0, 30.5, model.ObjectCount());
    grey->nEffectID = 10;
    grey->pValidPolygon = new TrackPoints(5);
    const int cx = kFrameWidth / 2, cy = 278, r = 215;
    for (tagSIZE point : {tagSIZE{0, cy}, tagSIZE{0, 0}, tagSIZE{kFrameWidth, 0}, tagSIZE{kFrameWidth, kFrameHeight},
                          tagSIZE{0, kFrameHeight}, tagSIZE{0, cy}})
        grey->pValidPolygon->Add(point);
    for (int k = 0; k <= 36; ++k) {
        const double a = M_PI + k * 2 * M_PI / 36;
        grey->pValidPolygon->Add(tagSIZE{int(std::lround(cx + r * std::cos(a))), int(std::lround(cy + r * std::sin(a)))});
    }
    Append(model, OBJ_EFFECT, grey);

    tagOPR_EFFECT* stars = EffectOp(31.5, 39.5, model.ObjectCount());
    stars->guidEffect = kSampleEffectGuid;
    Append(model, OBJ_EFFECT, stars);

    AudioOp* music = new AudioOp();
    music->dStartTime = 0.0;
    music->dEndTime = length;
    music->dLength = double(FileSize(p.music) - 44) / (kSampleRate * kChannels * 2);
    std::snprintf(music->szPath, sizeof music->szPath, "%s", p.music.c_str());
    std::snprintf(music->szName, sizeof music->szName, "%s", p.music.substr(p.music.rfind('/') + 1).c_str());
    music->nOrder = model.ObjectCount();
    Append(model, OBJ_MUSIC, music);

    ErrorPrompt prompt;
    ProjectStore store(model);
    // Registered in the data folder's project database, so that the studio's Open
    // Project lists the demo.
    ProjectDatabase database(p.data);
    store.SetPrompt(&prompt);
    store.SetDatabase(&database);
    if (store.SaveProject(1.0f, 1.0f) != 1)
        throw Failure("cannot save the project " + p.project);
}

std::string Short(const Paths& p, const std::string& path)
{
    return path.compare(0, p.root.size() + 1, p.root + "/") == 0 ? path.substr(p.root.size() + 1) : path;
}

void Report(const Paths& p, ProjectModel& model, int gifFrames)
{
    std::printf("made in %s:\n", p.root.c_str());
    const struct {
        const std::string* path;
        std::string what;
    } files[] = {
        {&p.bay, "MPEG-2 720x576 25 fps, MP2 44.1 kHz stereo, program stream"},
        {&p.bubbles, "MPEG-4 720x576 25 fps, MP3 44.1 kHz stereo, AVI"},
        {&p.landscape, "JPEG 1024x768"},
        {&p.flower, "PNG 800x600"},
        {&p.butterfly, "GIF 128x128, " + std::to_string(gifFrames) + " frames"},
        {&p.music, "WAV 16-bit stereo 44.1 kHz, " + std::to_string(int(kMusicSeconds)) + " s"},
        {&p.effect, "animation effect, installed in " + Short(p, p.data) + "ZozEvorera"},
        {&p.project, "project, 720x576 4:3"},
    };
    for (const auto& f : files)
        std::printf("  %-26s %9lld bytes  %s\n", Short(p, *f.path).c_str(), FileSize(*f.path), f.what.c_str());

    std::printf("scenes (%.1f s):\n", model.TotalLength());
    double at = 0;
    for (int i = 0; i < model.SceneCount(); ++i) {
        const SceneRecord& r = model.Record(i);
        const SceneSpan s = model.Span(i);
        const std::string path = r.szPath;
        const int id = r.nTransitionID >= 0 && r.nTransitionID <= 28 ? r.nTransitionID : 0;
        std::printf("  %4.1f - %4.1f s  %-18s %s %.1f - %.1f s, transition %d \"%s\"\n", at, at + s.dOut - s.dIn,
                    path.substr(path.rfind('/') + 1).c_str(), r.nMediaType == MEDIA_TYPE_VIDEO ? "clip" : "shown",
                    s.dIn, s.dOut, id, kTransitionNames[id]);
        at += s.dOut - s.dIn;
    }
    std::printf("objects:\n");
    for (int i = 0; i < model.ObjectCount(); ++i) {
        void* o = model.Object(i);
        switch (model.Kind(i)) {
        case OBJ_TEXT: {
            const TextOp* t = static_cast<const TextOp*>(o);
            std::printf("  %4.1f - %4.1f s  title, style %d: \"%s\"\n", t->dStartTime, t->dEndTime, t->nStyle,
                        t->szText);
            break;
        }
        case OBJ_PICTURE: {
            const StickerOp* s = static_cast<const StickerOp*>(o);
            std::printf("  %4.1f - %4.1f s  animated picture %s at %d,%d size %dx%d\n", s->dStartTime, s->dEndTime,
                        Short(p, s->szPath).c_str(), s->rcDest[0], s->rcDest[1], s->rcDest[2], s->rcDest[3]);
            break;
        }
        case OBJ_EFFECT: {
            const tagOPR_EFFECT* e = static_cast<const tagOPR_EFFECT*>(o);
            if (e->pValidPolygon)
                std::printf("  %4.1f - %4.1f s  static effect %d (Gray) outside a circle on the flower, %d track points\n",
                            e->dStartTime, e->dEndTime, e->nEffectID, e->pValidPolygon->GetSize());
            else
                std::printf("  %4.1f - %4.1f s  animation effect %s\n", e->dStartTime, e->dEndTime,
                            Short(p, p.effect).c_str());
            break;
        }
        case OBJ_MUSIC: {
            const AudioOp* a = static_cast<const AudioOp*>(o);
            std::printf("  %4.1f - %4.1f s  music %s (%.1f s)\n", a->dStartTime, a->dEndTime, a->szName, a->dLength);
            break;
        }
        default: break;
        }
    }
}

// The demo's media on the studio's shelf too, so that the Create Video page shows
// them; a library that already holds entries (an earlier run) is left as it is.
void StockLibrary(const Paths& p)
{
    MediaLibrary library(p.data);
    library.Load();
    if (library.Count() > 0)
        return;
    std::vector<ImportedFile> files;
    for (const std::string* path : {&p.bay, &p.bubbles, &p.landscape, &p.flower, &p.butterfly, &p.music}) {
        ImportedFile f;
        if (MediaImport::ImportOne(*path, &f))
            files.push_back(std::move(f));
    }
    if (!AddImported(library, std::move(files)))
        throw Failure("cannot store the media library in " + p.data);
}

// Three 3D screens over the landscape, so that the 3D Screen page has something to offer.
void StockScreens(const Paths& p)
{
    ScreenLibrary screens;
    screens.Load(p.data);
    if (screens.Count() > 0)
        return;
    std::vector<unsigned char> picture;
    std::string why;
    if (!ReadRegularFile(p.landscape.c_str(), 64u << 20, picture, &why))
        throw Failure("cannot read " + p.landscape + ": " + why);
    for (int style : {0, 4, 9}) {
        ScreenOp screen{};
        screen.nStyle = style;
        if (!screens.Add(picture, screen))
            throw Failure("cannot make the 3D screens");
    }
    if (!screens.Save(p.data))
        throw Failure("cannot store the 3D screens in " + p.data);
}

// The footage project: the clips alternate, each whole, until the minutes are full.
void BuildFootage(const std::string& folder, int minutes, const std::string& a, const std::string& b)
{
    const std::string data = Absolute(folder) + "/Data/";
    if (!MakeFolders(data))
        throw Failure("cannot create " + data + ": " + std::strerror(errno));
    setenv("ZOLVEX_DATA_DIR", data.c_str(), 1);
    ProjectModel model;
    model.name = "Footage" + std::to_string(minutes);
    model.header = ProjectHeader{kFrameWidth, kFrameHeight, 4, 3};
    const double total = minutes * 60.0;
    for (int k = 0; model.TotalLength() < total - 0.5; ++k) {
        const std::string& clip = k % 2 == 0 ? Absolute(a) : Absolute(b);
        MediaItem item;
        MediaThumbnail thumbnail;
        if (!CreateMediaItem(clip.c_str(), item, thumbnail) || item.nKind != MEDIA_VIDEO || !(item.dDuration >= 1))
            throw Failure("cannot use " + clip + " as a video clip");
        const double length = std::min(item.dDuration, total - model.TotalLength());
        AddScene(model, clip, 0.0, length, k == 0 ? 0 : 1);  // 1: a fade from the scene before
    }
    Append(model, OBJ_TEXT,
           Title("Summer 2026", 0, 0.0, 5.0, 24, 700, RGB(255, 255, 255), RGB(0, 0, 0), 60, 60, model.ObjectCount()));
    ErrorPrompt prompt;
    ProjectStore store(model);
    store.SetPrompt(&prompt);
    if (store.SaveProject(1.0f, 1.0f) != 1)
        throw Failure("cannot save the project " + model.name);
    std::printf("%sFootage%d/Footage%d.mpf: %d scenes, %.1f s\n", data.c_str(), minutes, minutes,
                model.SceneCount(), model.TotalLength());
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 6 && std::strcmp(argv[1], "--footage") == 0) {
        try {
            const int minutes = std::atoi(argv[3]);
            if (minutes < 1 || minutes > 600)
                throw Failure("the footage project lasts 1 to 600 minutes");
            BuildFootage(argv[2], minutes, argv[4], argv[5]);
            return 0;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "zolvex-demo: %s\n", e.what());
            return 1;
        }
    }
    if (argc != 2 || !argv[1][0]) {
        std::fprintf(stderr, "usage: zolvex-demo FOLDER\n       zolvex-demo --footage FOLDER MINUTES CLIP_A CLIP_B\n");
        return 2;
    }
    try {
        const Paths p = Resolve(argv[1]);
        // The studio's project store and libraries find their files through this.
        setenv("ZOLVEX_DATA_DIR", p.data.c_str(), 1);
        if (DataFolder() != p.data)
            throw Failure("cannot use " + p.data + " as the data folder");

        int gifFrames = 0;
        MakeMedia(p, &gifFrames);
        InstallEffect(p);
        ProjectModel model;
        BuildProject(p, model, &gifFrames);
        StockLibrary(p);
        StockScreens(p);
        Report(p, model, gifFrames);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zolvex-demo: %s\n", e.what());
        return 1;
    }
}
