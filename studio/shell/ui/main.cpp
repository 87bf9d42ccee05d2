// zolvex-studio: the studio program. Starts in the order the studio always has: wait
// cursor and keyboard shortcuts, the picture library, the one-instance check, the
// rendering library's registration, the language, then the main window; and at exit
// takes the registration back.
//   zolvex-studio [PROJECT]          opens the named project of the data folder
//   zolvex-studio --startup-time     prints the milliseconds until the first painted
//                                    window and quits (the start-up benchmark)
#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <string>

#include "filter/media/MagickReady.h"
#include "filter/timeline/gst/TavmEntryPoints.h"
#include "studio/shell/StringTable.h"
#include "studio/shell/StudioSettings.h"
#include "studio/shell/ui/MainWindow.h"
#include "studio/shell/ui/SingleInstance.h"

using namespace zolvex;
using namespace zolvex::studio;

int main(int argc, char** argv)
{
    QElapsedTimer sinceStart;
    sinceStart.start();
    QApplication app(argc, argv);
    QApplication::setApplicationName("zolvex-studio");
    QApplication::setDesktopFileName("org.zolvex.VideoStudio");
    QApplication::setOverrideCursor(Qt::WaitCursor);

    bool measure = false;
    std::string project;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--startup-time") == 0)
            measure = true;
        else if (argv[i][0] != '-')
            project = argv[i];
    }

    magick::EnsureReady();

    SingleInstance instance;
    if (!measure && !instance.Claim()) {
        // Another studio runs: it comes to the front, this start ends.
        instance.AskFirstToShow();
        return 0;
    }

    // A library that cannot register only means that preview and output fail where
    // they create the filter.
    DllRegisterServer();
    Strings().Load(LanguageSetting() == 1 ? Language::kChinese : Language::kEnglish);

    int status = 0;
    {
        MainWindow window;
        QObject::connect(&instance, &SingleInstance::showRequested, &window, &MainWindow::ShowForAnotherStart);
        QObject::connect(&window, &MainWindow::firstPainted, &app, [&] {
            QApplication::restoreOverrideCursor();
            if (measure) {
                std::printf("%lld\n", static_cast<long long>(sinceStart.elapsed()));
                std::fflush(stdout);
                QTimer::singleShot(0, &window, &QWidget::close);
            }
        });
        if (!project.empty())
            window.OpenProjectNamed(project);
        window.show();
        status = app.exec();
    }
    DllUnregisterServer();
    return status;
}
