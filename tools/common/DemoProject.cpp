#include "tools/common/DemoProject.h"

#include <cairo.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "filter/effects/fTavEffect.h"
#include "filter/media/AnimatedPicture.h"
#include "filter/screen3d/Screen3D.h"
#include "filter/timeline/model/TimelineTime.h"
#include "tools/common/SampleEffect.h"

namespace zolvex {
namespace demo {

struct DemoProject::Storage {
    SceneList scenes{5};
    SpanList spans{5};
    ObjectList objects{5};
    KindList kinds{5};
    CTavmArray<void*> library{5};
    PictureList pictures{5};
    std::vector<std::unique_ptr<SceneRecord>> sceneRecords;
    TextOp opening{}, marquee{};
    StickerOp sticker{};
    tagOPR_EFFECT posterize{}, animation{};
    CTavmArray<tagSIZE>* posterizeRegion = nullptr;
    ScreenOp screen{};
    tagROMANCE_EFFECT2* sample = nullptr;
    std::vector<unsigned char> backgroundPng;

    ~Storage()
    {
        CfTavEffect::ReleaseOprSpecialData(&animation);
        ReleaseScreenItem(screen);
        CloseStickerPicture(sticker);
        delete posterizeRegion;
        FreeAnimationEffect(sample);
    }
};

namespace {

bool Run(const std::string& command, std::string* error)
{
    if (std::system(command.c_str()) == 0)
        return true;
    if (error)
        *error = "this command failed: " + command;
    return false;
}

// A 4:3 picture for the picture scene: sky, sun and hills, drawn with Cairo.
bool DrawLandscape(const std::string& path, std::string* error)
{
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 640, 480);
    cairo_t* cr = cairo_create(s);
    cairo_pattern_t* sky = cairo_pattern_create_linear(0, 0, 0, 480);
    cairo_pattern_add_color_stop_rgb(sky, 0, 0.15, 0.35, 0.75);
    cairo_pattern_add_color_stop_rgb(sky, 1, 0.95, 0.75, 0.55);
    cairo_set_source(cr, sky);
    cairo_paint(cr);
    cairo_pattern_destroy(sky);
    cairo_set_source_rgb(cr, 1.0, 0.85, 0.3);
    cairo_arc(cr, 470, 140, 60, 0, 2 * M_PI);
    cairo_fill(cr);
    for (int k = 0; k < 3; ++k) {
        cairo_set_source_rgb(cr, 0.15 + 0.1 * k, 0.45 - 0.08 * k, 0.2);
        cairo_move_to(cr, 0, 480);
        for (int x = 0; x <= 640; x += 16)
            cairo_line_to(cr, x, 330 + 40 * k + 35 * std::sin(x / (70.0 + 25 * k) + k));
        cairo_line_to(cr, 640, 480);
        cairo_close_path(cr);
        cairo_fill(cr);
    }
    cairo_destroy(cr);
    const cairo_status_t status = cairo_surface_write_to_png(s, path.c_str());
    cairo_surface_destroy(s);
    if (status != CAIRO_STATUS_SUCCESS && error)
        *error = "cannot write " + path + ": " + cairo_status_to_string(status);
    return status == CAIRO_STATUS_SUCCESS;
}

void SetFace(LOGFONTA& font, int height, int weight)
{
    font.lfHeight = height;
    font.lfWeight = weight;
    std::strcpy(font.lfFaceName, "Arial");
}

}  // namespace

DemoProject::DemoProject() = default;
DemoProject::~DemoProject() = default;

bool DemoProject::Build(const std::string& folder, int width, int height, std::string* error)
{
    s_.reset(new Storage);
    width_ = width;
    height_ = height;
    Storage& st = *s_;
    const std::string clip1 = folder + "/clip1.mpg", clip2 = folder + "/clip2.avi";
    const std::string picture = folder + "/landscape.png", gif = folder + "/sticker.gif";
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    if (!Run("ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=s=" + size +
                 ":r=25:d=5 -c:v mpeg2video -q:v 3 -g 12 -bf 2 -pix_fmt yuv420p '" + clip1 + "'",
             error) ||
        !Run("ffmpeg -nostdin -v error -y -f lavfi -i mandelbrot=s=" + size +
                 ":r=25 -t 5 -c:v mpeg4 -q:v 3 -pix_fmt yuv420p '" + clip2 + "'",
             error) ||
        !Run("ffmpeg -nostdin -v error -y -f lavfi -i \"testsrc=s=96x72:r=8:d=2\" -f gif '" + gif + "'", error) ||
        !DrawLandscape(picture, error))
        return false;

    // Scenes: a clip, the picture (fading in through an ellipse), the second clip
    // (through the clock).
    const struct {
        const std::string* path;
        int type;
        double in, out;
        int transition;
    } scenes[] = {{&clip1, MEDIA_TYPE_VIDEO, 0, 5, 0},
                  {&picture, MEDIA_TYPE_PICTURE, 0, 4, 14},
                  {&clip2, MEDIA_TYPE_VIDEO, 0, 4, 28}};
    for (const auto& sc : scenes) {
        st.sceneRecords.emplace_back(new SceneRecord());
        SceneRecord* r = st.sceneRecords.back().get();
        std::snprintf(r->szPath, sizeof r->szPath, "%s", sc.path->c_str());
        r->nMediaType = sc.type;
        r->nTransitionID = sc.transition;
        r->nSourceWidth = width;
        r->nSourceHeight = height;
        r->dDuration = sc.out;
        r->dInPoint = sc.in;
        r->dOutPoint = sc.out;
        st.scenes.Add(r);
        st.spans.Add(SceneSpan{sc.in, sc.out});
    }

    TextOp& opening = st.opening;
    std::strcpy(opening.szText, "Zolvex Video Studio");
    opening.nStyle = 1;
    opening.dStartTime = 0.3;
    opening.dEndTime = 4.8;
    SetFace(opening.lfFont, -28, 700);
    opening.crText = RGB(255, 255, 255);
    opening.crShadow = RGB(0, 0, 0);
    opening.nX = width / 8;
    opening.nY = height / 8;
    opening.nOpacity = 255;
    st.objects.Add(&opening);
    st.kinds.Add(OBJ_TEXT);

    TextOp& marquee = st.marquee;
    std::strcpy(marquee.szText, "Holidays by the sea - summer 2026");
    marquee.nStyle = 3;
    marquee.dStartTime = 5.2;
    marquee.dEndTime = 9.5;
    SetFace(marquee.lfFont, -20, 400);
    marquee.crText = RGB(255, 230, 80);
    marquee.crShadow = RGB(40, 20, 0);
    marquee.nY = height * 3 / 4;
    marquee.nOpacity = 230;
    st.objects.Add(&marquee);
    st.kinds.Add(OBJ_TEXT);

    StickerOp& sticker = st.sticker;
    std::snprintf(sticker.szPath, sizeof sticker.szPath, "%s", gif.c_str());
    if (!OpenStickerPicture(sticker)) {
        if (error)
            *error = "cannot open the animated picture " + gif;
        return false;
    }
    sticker.dStartTime = 1;
    sticker.dEndTime = 12;
    sticker.rcDest[0] = width - 110;
    sticker.rcDest[1] = 10;
    sticker.rcDest[2] = 96;
    sticker.rcDest[3] = 72;
    st.objects.Add(&sticker);
    st.kinds.Add(OBJ_PICTURE);

    // Posterize over the left half of the picture scene.
    tagOPR_EFFECT& posterize = st.posterize;
    posterize.dStartTime = 6;
    posterize.dEndTime = 8.5;
    posterize.nEffectID = 5;
    posterize.nLevel = 60;
    st.posterizeRegion = new CTavmArray<tagSIZE>(5);
    for (tagSIZE p : {tagSIZE{0, 0}, tagSIZE{width / 2, 0}, tagSIZE{width / 2, height}, tagSIZE{0, height}})
        st.posterizeRegion->Add(p);
    posterize.pValidPolygon = st.posterizeRegion;
    st.objects.Add(&posterize);
    st.kinds.Add(OBJ_EFFECT);

    st.sample = MakeSampleAnimationEffect();
    if (!st.sample) {
        if (error)
            *error = "cannot make the sample animation effect";
        return false;
    }
    st.library.Add(st.sample);
    tagOPR_EFFECT& animation = st.animation;
    animation.dStartTime = 2;
    animation.dEndTime = 12.5;
    animation.guidEffect = st.sample->guidEffect;
    animation.nOverallOpacity = 255;
    st.objects.Add(&animation);
    st.kinds.Add(OBJ_EFFECT);

    // The 3D screen shows the second clip on a column over the landscape.
    std::ifstream png(picture, std::ios::binary);
    st.backgroundPng.assign(std::istreambuf_iterator<char>(png), std::istreambuf_iterator<char>());
    for (int k = 0; k < 13; ++k)  // the item's style picks the picture at its index
        st.pictures.Add(PictureBlock{st.backgroundPng.data(), uint32_t(st.backgroundPng.size())});
    ScreenOp& screen = st.screen;
    screen.dStartTime = 11.2;
    screen.dEndTime = 13;
    screen.nStyle = 12;
    st.objects.Add(&screen);
    st.kinds.Add(OBJ_SCREEN3D);
    return true;
}

TimelineLists DemoProject::Lists()
{
    TimelineLists l;
    if (s_) {
        l.pScenes = &s_->scenes;
        l.pSpans = &s_->spans;
        l.pObjects = &s_->objects;
        l.pKinds = &s_->kinds;
    }
    return l;
}

SideLists DemoProject::Sides()
{
    SideLists l;
    if (s_) {
        l.pAnimationEntries = &s_->library;
        l.pPictures = &s_->pictures;
    }
    return l;
}

double DemoProject::LengthSeconds() const
{
    return s_ ? ProjectLength(&s_->scenes, &s_->spans) : 0;
}

}  // namespace demo
}  // namespace zolvex
