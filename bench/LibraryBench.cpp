// The media library at the studio's pace: importing 100 generated files (50 clips of
// 2 s, 50 pictures) through the panel's worker, and opening a library of 1,000
// entries on the Create Video page. Figures:
//   import_files_per_s   files a second, thumbnails included
//   longest_window_ms    the longest the window thread went without serving its
//                        events during the import (a 5 ms timer keeps asking)
//   load_1000_ms         loading "TavMedia" of 1,000 entries and showing them as
//                        thumbnails, up to the first painted view
// The media is made in a scratch folder at start-up (the ffmpeg command) and removed.
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QListView>
#include <QSignalSpy>
#include <QStringList>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "studio/project/MediaImport.h"
#include "studio/project/ui/MediaLibraryPanel.h"
#include "studio/shell/StringTable.h"

using namespace zolvex::studio;

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    Strings().Load(Language::kEnglish);
    char pattern[] = "/tmp/zolvex-bench-library-XXXXXX";
    if (!mkdtemp(pattern))
        return 1;
    const std::string dir = std::string(pattern) + "/";
    const std::string make = "ffmpeg -nostdin -v error -f lavfi -i testsrc=s=320x240:r=25:d=2 -c:v mpeg2video '" +
                             dir + "clip.mpg'";
    if (std::system(make.c_str()) != 0)
        return 1;
    QStringList files;
    for (int i = 0; i < 50; ++i) {
        const QString clip = QString::fromStdString(dir) + QString("clip%1.mpg").arg(i);
        QFile::copy(QString::fromStdString(dir + "clip.mpg"), clip);
        QImage picture(800, 600, QImage::Format_RGB32);
        picture.fill(QColor::fromHsv(i * 7, 200, 200));
        const QString name = QString::fromStdString(dir) + QString("picture%1.jpg").arg(i);
        picture.save(name, "JPEG", 85);
        files << clip << name;
    }

    double perSecond = 0, longest = 0, loadMs = 0;
    {
        MediaLibrary library(dir);
        MediaLibraryPanel panel(library);
        panel.show();
        QElapsedTimer gap;
        gap.start();
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            longest = std::max(longest, double(gap.nsecsElapsed()) / 1e6 - 5.0);
            gap.restart();
        });
        QSignalSpy done(&panel, &MediaLibraryPanel::importDone);
        QElapsedTimer clock;
        clock.start();
        probe.start(5);
        panel.ImportFiles(files);
        done.wait(600000);
        probe.stop();
        perSecond = files.size() / (double(clock.nsecsElapsed()) / 1e9);
        // Ten times the hundred make the thousand.
        const std::vector<LibraryEntry> entries = library.Entries();
        for (int k = 1; k < 10; ++k)
            for (const LibraryEntry& e : entries)
                library.Append(e.item, e.thumbnail);
        library.Store();
    }
    {
        QElapsedTimer clock;
        clock.start();
        MediaLibrary library(dir);
        library.Load();
        MediaLibraryPanel panel(library);
        panel.resize(740, 520);
        panel.show();
        (void)QTest::qWaitForWindowExposed(&panel);
        panel.ThumbView()->grab();  // the view painted, thumbnails decoded
        loadMs = double(clock.nsecsElapsed()) / 1e6;
        std::printf("library of %zu entries\n", library.Count());
    }
    std::printf("import_files_per_s %.1f\nlongest_window_ms %.1f\nload_1000_ms %.1f\n", perSecond,
                std::max(0.0, longest), loadMs);
    std::system(("rm -rf '" + dir + "'").c_str());
    return 0;
}
