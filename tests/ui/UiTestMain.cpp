// The widget tests run without a display: Qt's offscreen platform, one application
// for the whole program.
#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // The settings the windows keep go to a scratch file, never the user's own.
    char folder[] = "/tmp/zolvex-ui-settings-XXXXXX";
    if (!mkdtemp(folder))
        return 1;
    setenv("ZOLVEX_SETTINGS_FILE", (std::string(folder) + "/settings").c_str(), 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    std::system(("rm -rf '" + std::string(folder) + "'").c_str());
    return status;
}
