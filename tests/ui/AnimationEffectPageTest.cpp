// The Animation Effect page over a library in a scratch folder: files imported from
// the chooser (a known one once), thumbnails that move on with the timer, removal
// with its question, and the selected effect handed on with its GUID.
#include <gtest/gtest.h>

#include <QImage>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <sys/stat.h>

#include <string>

#include "filter/animation/AnimationFile.h"
#include "studio/maker/ui/AnimationEffectPage.h"
#include "studio/shell/StringTable.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/ScriptedPrompt.h"
#include "tools/common/SampleEffect.h"

using namespace zolvex;
using namespace zolvex::studio;

namespace {

class AnimationEffectPageTest : public ::testing::Test {
protected:
    AnimationEffectPageTest()
    {
        Strings().Load(Language::kEnglish);
        page.SetFileChooser([this](const QString&, const QString& filter) {
            EXPECT_TRUE(filter.contains("*.arf"));
            return chosen;
        });
        page.resize(700, 420);
        page.show();
    }
    // The sample effect saved as `title`.arf with its GUID's first word `tag`.
    QString Sample(const std::string& title, uint32_t tag)
    {
        tagROMANCE_EFFECT2* e = MakeSampleAnimationEffect();
        e->guidEffect.Data1 = tag;
        std::snprintf(e->szName0, sizeof e->szName0, "%s", title.c_str());
        EXPECT_TRUE(WriteAnimationEffect(e, (folder.Path() + title).c_str()));
        FreeAnimationEffect(e);
        return QString::fromStdString(folder.Path() + title + ".arf");
    }

    testsupport::ScratchFolder folder{"animation-page"};
    AnimationLibrary library{folder.Path()};
    testsupport::ScriptedPrompt prompt;
    AnimationEffectPage page{library, prompt};
    QStringList chosen;
};

}  // namespace

TEST_F(AnimationEffectPageTest, ImportsShowMovingThumbnailsWithTheirNames)
{
    QSignalSpy changing(&page, &AnimationEffectPage::libraryChanging);
    QSignalSpy changed(&page, &AnimationEffectPage::libraryChanged);
    const QString a = Sample("hearts", 1);
    chosen = {a, Sample("stars", 2), a};
    EXPECT_EQ(page.Import(), 2) << "the same effect twice is added once";
    EXPECT_EQ(changing.size(), 1);
    EXPECT_EQ(changed.size(), 1);
    ASSERT_EQ(page.List()->count(), 2);
    EXPECT_EQ(page.List()->item(0)->text(), "hearts");
    EXPECT_EQ(page.List()->item(1)->text(), "stars");
    struct stat st;
    EXPECT_EQ(stat((folder.Path() + AnimationLibrary::kContainerName).c_str(), &st), 0);

    // The timer draws further frames of the animated items, on the screen.
    const QImage first = page.List()->viewport()->grab().toImage();
    bool moved = false;
    for (int k = 0; k < 20 && !moved; ++k) {
        page.Tick();
        moved = page.List()->viewport()->grab().toImage() != first;
    }
    EXPECT_TRUE(moved);
    // Nothing chosen: nothing changes, and the preview is left alone.
    chosen.clear();
    EXPECT_EQ(page.Import(), 0);
    EXPECT_EQ(changing.size(), 1);
}

TEST_F(AnimationEffectPageTest, RemoveAsksAndAddHandsOnTheGuid)
{
    chosen = {Sample("hearts", 7), Sample("stars", 8)};
    ASSERT_EQ(page.Import(), 2);
    QSignalSpy added(&page, &AnimationEffectPage::addEffect);
    EXPECT_FALSE(page.AddSelected()) << "nothing selected";
    page.List()->setCurrentRow(1);
    ASSERT_TRUE(page.AddSelected());
    ASSERT_EQ(added.size(), 1);
    EXPECT_EQ(added[0].at(0).value<GUID>().Data1, 8u);

    // Without a selection the page says so; with one it asks, and Yes removes.
    page.List()->setCurrentRow(-1);
    EXPECT_FALSE(page.RemoveSelected());
    EXPECT_EQ(prompt.LastText(), "Please select an image to remove");
    page.List()->setCurrentRow(0);
    prompt.answers = {kAnswerYes};
    ASSERT_TRUE(page.RemoveSelected());
    ASSERT_EQ(page.List()->count(), 1);
    EXPECT_EQ(page.List()->item(0)->text(), "stars");
    EXPECT_EQ(library.Guid(0).Data1, 8u);
}
