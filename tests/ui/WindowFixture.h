// A main window's test with a data folder of its own (ZOLVEX_DATA_DIR), English
// texts, a scripted prompt, and pictures put straight into the library as an import
// leaves them.
#pragma once

#include <gtest/gtest.h>

#include <QImage>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "studio/shell/StringTable.h"
#include "studio/shell/ui/MainWindow.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/ScriptedPrompt.h"

namespace zolvex {
namespace testsupport {

class WindowFixture : public ::testing::Test {
protected:
    explicit WindowFixture(const char* name) : scratch(name) {}
    void SetUp() override
    {
        ASSERT_FALSE(root.empty());
        setenv("ZOLVEX_DATA_DIR", (root + "Data").c_str(), 1);
        studio::Strings().Load(studio::Language::kEnglish);
    }
    void TearDown() override { unsetenv("ZOLVEX_DATA_DIR"); }
    // A 64 × 48 picture file in the library.
    void AddPicture(studio::MainWindow& window, const std::string& name)
    {
        const std::string path = root + name;
        QImage picture(64, 48, QImage::Format_RGB32);
        picture.fill(Qt::darkCyan);
        ASSERT_TRUE(picture.save(QString::fromStdString(path)));
        studio::MediaItem item{};
        std::snprintf(item.szPath, sizeof item.szPath, "%s", path.c_str());
        std::snprintf(item.szExt, sizeof item.szExt, ".png");
        item.nKind = studio::MEDIA_PICTURE;
        item.nWidth = 64;
        item.nHeight = 48;
        window.Library().Append(item, studio::MediaThumbnail(4, 1));
    }

    ScratchFolder scratch;
    const std::string& root = scratch.Path();
    ScriptedPrompt prompt;
};

}  // namespace testsupport
}  // namespace zolvex
