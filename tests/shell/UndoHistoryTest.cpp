// The undo history over the project model: the first edit of a new project and of a
// loaded one, and a replay of a few hundred random edits undone step by step and
// redone, every state checked byte for byte through the project file's bytes. The
// records that steps share or copy (animated pictures, effect outlines) must be
// freed exactly once, which the sanitizer build checks.
#include <gtest/gtest.h>

#include <Magick++.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <random>

#include "filter/media/AnimatedPicture.h"
#include "filter/media/MagickReady.h"
#include "filter/timeline/model/EffectOperation.h"
#include "studio/project/ProjectFile.h"
#include "studio/project/ProjectLayouts.h"
#include "studio/shell/UndoHistory.h"

using namespace zolvex;
using namespace zolvex::studio;

namespace {

using Bytes = std::vector<unsigned char>;

Bytes State(ProjectModel& model) { return ProjectStore::Serialise(model, 1.0f, 1.0f); }

void AddScene(ProjectModel& model, int n, double length)
{
    MediaItem item;
    std::memset(&item, 0, sizeof item);
    std::snprintf(item.szPath, sizeof item.szPath, "/media/clip%d.mpg", n);
    item.nKind = MEDIA_VIDEO;
    SceneRecord record{};
    std::memcpy(record.szPath, item.szPath, sizeof record.szPath);
    record.nMediaType = MEDIA_TYPE_VIDEO;
    record.nTransitionID = n % 29;
    ASSERT_TRUE(model.AppendScene(item, MediaThumbnail(8, uint8_t(n)), record, SceneSpan{0.0, length}, 1));
}

class UndoHistoryTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        magick::EnsureReady();
        char pattern[] = "/tmp/zolvex-undo-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        std::vector<Magick::Image> frames(2, Magick::Image(Magick::Geometry(8, 6), Magick::Color("red")));
        frames[1] = Magick::Image(Magick::Geometry(8, 6), Magick::Color("blue"));
        Magick::writeImages(frames.begin(), frames.end(), "GIF:" + dir + "/sticker.gif");
    }
    static void TearDownTestSuite() { std::system(("rm -rf '" + dir + "'").c_str()); }
    static std::string dir;
};
std::string UndoHistoryTest::dir;

}  // namespace

TEST_F(UndoHistoryTest, TheFirstEditOfANewOrLoadedProjectCanBeUndone)
{
    ProjectModel model;
    UndoHistory history(model);
    EXPECT_FALSE(history.UndoEnabled() || history.RedoEnabled());
    AddScene(model, 1, 4.0);
    ASSERT_TRUE(history.Push());
    EXPECT_EQ(history.Size(), 2u) << "the empty timeline, then the edit";
    EXPECT_EQ(history.Index(), 1);
    EXPECT_TRUE(history.UndoEnabled() && !history.RedoEnabled());
    ASSERT_TRUE(history.Undo());
    EXPECT_EQ(model.SceneCount(), 0);
    EXPECT_TRUE(model.bModified);
    EXPECT_FALSE(history.Undo()) << "nothing before the empty timeline";
    EXPECT_TRUE(!history.UndoEnabled() && history.RedoEnabled());
    ASSERT_TRUE(history.Redo());
    EXPECT_EQ(model.SceneCount(), 1);
    EXPECT_EQ(model.TotalLength(), 4.0);
    EXPECT_FALSE(history.Redo());

    // A new edit after an undo drops the steps that were ahead.
    history.Undo();
    AddScene(model, 2, 2.0);
    history.Push();
    EXPECT_EQ(history.Size(), 2u);
    EXPECT_FALSE(history.RedoEnabled());

    // After a load: the empty timeline, then the loaded one.
    history.StartAfresh();
    EXPECT_EQ(history.Size(), 2u);
    ASSERT_TRUE(history.Undo());
    EXPECT_EQ(model.SceneCount(), 0);
    ASSERT_TRUE(history.Redo());
    EXPECT_EQ(model.SceneCount(), 1);
}

TEST_F(UndoHistoryTest, RandomEditsUndoAndRedoToEveryStateTheyPassed)
{
    ProjectModel model;
    UndoHistory history(model);
    std::mt19937 random(20261209);
    std::vector<Bytes> states{State(model)};
    int scenes = 0;
    for (int step = 0; step < 300; ++step) {
        const int what = int(random() % 6);
        if (what == 0 || model.ObjectCount() == 0) {
            AddScene(model, ++scenes, 1.0 + random() % 50 / 10.0);
        } else if (what == 1) {
            TextOp* text = new TextOp{};
            std::snprintf(text->szText, sizeof text->szText, "Title %d", step);
            text->dStartTime = step * 0.1;
            text->dEndTime = step * 0.1 + 2;
            model.AppendObject(OBJ_TEXT, text, 0);
        } else if (what == 2) {
            StickerOp* sticker = new StickerOp{};
            std::snprintf(sticker->szPath, sizeof sticker->szPath, "%s/sticker.gif", dir.c_str());
            sticker->dEndTime = 3.0;
            sticker->rcDest[2] = sticker->rcDest[3] = 10 + step;
            ASSERT_TRUE(OpenStickerPicture(*sticker));
            model.AppendObject(OBJ_PICTURE, sticker, 0);
        } else if (what == 3) {
            tagOPR_EFFECT* effect = new tagOPR_EFFECT{};
            effect->dEndTime = 5.0;
            effect->nEffectID = step % 15;
            effect->nLevel = step % 101;
            effect->pValidPolygon = new TrackPoints(5);
            for (int k = 0; k < 3 + step % 4; ++k)
                effect->pValidPolygon->Add(tagSIZE{k * 10, step});
            model.AppendObject(OBJ_EFFECT, effect, 0);
        } else if (what == 4) {
            AudioOp* music = new AudioOp{};
            std::snprintf(music->szPath, sizeof music->szPath, "/music/%d.mp3", step);
            music->dEndTime = 9.0;
            model.AppendObject(OBJ_MUSIC, music, 0);
        } else {
            // An edit in place of an object's times, as a drag makes.
            const int k = int(random() % unsigned(model.ObjectCount()));
            if (model.Kind(k) == OBJ_MUSIC)
                static_cast<AudioOp*>(model.Object(k))->dEndTime += 1.5;
            else if (model.Kind(k) == OBJ_TEXT)
                static_cast<TextOp*>(model.Object(k))->dEndTime += 0.5;
            else if (model.Kind(k) == OBJ_EFFECT)
                static_cast<tagOPR_EFFECT*>(model.Object(k))->pValidPolygon->Add(tagSIZE{1, 2});
            else
                static_cast<StickerOp*>(model.Object(k))->rcDest[0] += 3;
        }
        ASSERT_TRUE(history.Push());
        states.push_back(State(model));
    }
    ASSERT_EQ(history.Size(), states.size());
    for (int i = int(states.size()) - 2; i >= 0; --i) {
        ASSERT_TRUE(history.Undo()) << i;
        ASSERT_EQ(State(model), states[size_t(i)]) << "after undoing back to step " << i;
    }
    EXPECT_FALSE(history.Undo());
    for (size_t i = 1; i < states.size(); ++i) {
        ASSERT_TRUE(history.Redo());
        ASSERT_EQ(State(model), states[i]) << "after redoing step " << i;
    }
    // Edits on a restored timeline do not reach the step it came from.
    history.Undo();
    const Bytes before = State(model);
    AddScene(model, 999, 1.0);
    history.Redo();
    history.Undo();
    EXPECT_EQ(State(model), before);
}

TEST_F(UndoHistoryTest, CopiesOwnTheirOutlinesAndShareTheirPictures)
{
    tagOPR_EFFECT effect{};
    effect.pValidPolygon = new TrackPoints(5);
    effect.pValidPolygon->Add(tagSIZE{1, 2});
    effect.bSpecialInited = 1;
    auto* copy = static_cast<tagOPR_EFFECT*>(CopyObjectRecord(OBJ_EFFECT, &effect));
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy->pValidPolygon, effect.pValidPolygon);
    EXPECT_EQ(copy->pValidPolygon->GetSize(), 1);
    EXPECT_EQ(copy->bSpecialInited, 0) << "the run-time data stay the original's";
    FreeObjectRecord(OBJ_EFFECT, copy);
    delete effect.pValidPolygon;

    StickerOp* sticker = new StickerOp{};
    std::snprintf(sticker->szPath, sizeof sticker->szPath, "%s/sticker.gif", dir.c_str());
    ASSERT_TRUE(OpenStickerPicture(*sticker));
    auto* shared = static_cast<StickerOp*>(CopyObjectRecord(OBJ_PICTURE, sticker));
    ASSERT_EQ(shared->hImage, sticker->hImage);
    FreeObjectRecord(OBJ_PICTURE, sticker);
    EXPECT_EQ(static_cast<AnimatedPicture*>(shared->hImage)->FrameCount(), 2) << "still there for the copy";
    FreeObjectRecord(OBJ_PICTURE, shared);
}
