// zolvex-render: renders a project file into a movie without a window, through the
// same filter, control interface and encoding run as the studio's Save Movie.
//
//   zolvex-render PROJECT.mpf -o OUTPUT [--format DVD_PAL|DVD_NTSC|SVCD_PAL|SVCD_NTSC|
//                 VCD_PAL|VCD_NTSC|AVI|3GP|SWF] [--size WxH] [--rate FPS]
//                 [--vbitrate BPS] [--quality 0-10] [--channels 1|2] [--samplerate HZ]
//                 [--abitrate BPS] [--data-dir DIR] [--overwrite] [--verbose]
//
// Quiet but for its own verdict; --verbose lets the library and FFmpeg say what they do.
// Exits 0 only when the movie was written; on any failure no partial file is left.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "filter/common/Log.h"
#include "filter/timeline/gst/GstTavmSource.h"
#include "filter/timeline/stream/ITavmControl.h"
#include "filter/timeline/gst/TavmGraph.h"
#include "filter/timeline/gst/TavmEntryPoints.h"
#include "filter/timeline/stream/TavmSource.h"
#include "platform/ClassRegistry.h"
#include "platform/ReplacingFile.h"
#include "studio/maker/AnimationLibrary.h"
#include "studio/project/DataFolder.h"
#include "studio/project/ProjectFile.h"
#include "studio/project/ScreenLibrary.h"
#include "studio/shell/MovieOutputParams.h"

using namespace zolvex;
using namespace zolvex::studio;

namespace {

std::atomic<bool> g_cancel{false};

void OnSignal(int) { g_cancel = true; }

struct Options {
    std::string project, output, format, dataDir;
    int width = 0, height = 0, rate = 0, videoBitRate = -1, quality = -1, channels = 0, sampleRate = 0,
        audioBitRate = -1;
    bool overwrite = false, verbose = false;
};

[[noreturn]] void Usage(const char* why)
{
    if (why)
        std::fprintf(stderr, "zolvex-render: %s\n", why);
    std::fprintf(stderr,
                 "usage: zolvex-render PROJECT.mpf -o OUTPUT [--format DVD_PAL|DVD_NTSC|SVCD_PAL|SVCD_NTSC|VCD_PAL|"
                 "VCD_NTSC|AVI|3GP|SWF]\n"
                 "       [--size WxH] [--rate FPS] [--vbitrate BPS] [--quality 0-10] [--channels 1|2]\n"
                 "       [--samplerate HZ] [--abitrate BPS] [--data-dir DIR] [--overwrite] [--verbose]\n");
    std::exit(2);
}

int Number(const char* text, const char* option)
{
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (!*text || *end || v < 0 || v > 1000000000)
        Usage((std::string("not a number for ") + option + ": " + text).c_str());
    return int(v);
}

Options Parse(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc)
                Usage((a + " needs a value").c_str());
            return argv[++i];
        };
        if (a == "-o" || a == "--output")
            o.output = value();
        else if (a == "--format")
            o.format = value();
        else if (a == "--size") {
            const std::string v = value();
            const size_t x = v.find('x');
            if (x == std::string::npos)
                Usage("--size takes WxH");
            o.width = Number(v.substr(0, x).c_str(), "--size");
            o.height = Number(v.substr(x + 1).c_str(), "--size");
        } else if (a == "--rate")
            o.rate = Number(value(), "--rate");
        else if (a == "--vbitrate")
            o.videoBitRate = Number(value(), "--vbitrate");
        else if (a == "--quality")
            o.quality = Number(value(), "--quality");
        else if (a == "--channels")
            o.channels = Number(value(), "--channels");
        else if (a == "--samplerate")
            o.sampleRate = Number(value(), "--samplerate");
        else if (a == "--abitrate")
            o.audioBitRate = Number(value(), "--abitrate");
        else if (a == "--data-dir")
            o.dataDir = value();
        else if (a == "--overwrite")
            o.overwrite = true;
        else if (a == "-v" || a == "--verbose")
            o.verbose = true;
        else if (a == "-h" || a == "--help")
            Usage(nullptr);
        else if (!a.empty() && a[0] == '-')
            Usage(("unknown option " + a).c_str());
        else if (o.project.empty())
            o.project = a;
        else
            Usage(("more than one project: " + a).c_str());
    }
    if (o.project.empty() || o.output.empty())
        Usage("a project and an output (-o) are needed");
    if (o.quality > 10)
        Usage("--quality runs from 0 to 10");
    if (o.channels > 2)
        Usage("--channels is 1 or 2");
    return o;
}

std::string Extension(const std::string& path)
{
    const size_t slash = path.rfind('/'), dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return std::string();
    std::string ext = path.substr(dot);
    for (char& c : ext)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

std::string Folder(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : (slash == 0 ? "/" : path.substr(0, slash));
}

std::string Base(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsFolder(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string Clock(double seconds)
{
    if (!(seconds >= 0) || seconds > 359999)
        return "--:--";
    const int s = int(seconds + 0.5);
    char text[16];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%d:%02d:%02d", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%02d:%02d", s / 60, s % 60);
    return text;
}

// The movie's parameters from the format and the options.
bool MakeParams(const Options& o, MovieOutputParams& params, std::string* error)
{
    MovieChoices choices;
    std::string format = o.format;
    if (format.empty()) {
        const std::string ext = Extension(o.output);
        format = ext == ".avi" ? "AVI" : ext == ".3gp" ? "3GP" : ext == ".swf" ? "SWF" : "DVD_PAL";
    }
    DiscProfile profile = kDvdPal;
    if (!ParseFormatName(format, choices.kind, profile)) {
        *error = "unknown format " + format;
        return false;
    }
    choices.profile = profile;
    choices.videoCodec = choices.kind == kMovieDisc && (profile == kVcdPal || profile == kVcdNtsc) ? 0 : 1;
    if (choices.kind != kMovieDisc)
        choices.videoCodec = 0;
    choices.channels = -1;  // the kind's own: mono for AMR speech, stereo otherwise
    choices.movieName = "movie";
    if (!FillMovieParams(choices, params, error))
        return false;
    if (o.width > 0)
        params.nWidth = o.width;
    if (o.height > 0)
        params.nHeight = o.height;
    if (o.rate > 0)
        params.nFrameRate = o.rate;
    if (o.videoBitRate >= 0)
        params.nVideoBitRate = o.videoBitRate;
    if (o.quality >= 0 && params.nQuality != -1)
        params.nQuality = EncoderQuality(o.quality);
    if (o.channels > 0)
        params.nChannels = o.channels;
    if (o.sampleRate > 0)
        params.nSampleRate = o.sampleRate;
    if (o.audioBitRate >= 0)
        params.nAudioBitRate = o.audioBitRate;
    const std::string ext = Extension(o.output), want = MovieExtension(choices.kind);
    if (ext != want) {
        *error = "a " + format + " movie is written as a \"" + want + "\" file, not \"" + o.output + "\"";
        return false;
    }
    return true;
}

class Progress {
public:
    explicit Progress(double seconds) : length_(seconds), tty_(isatty(STDOUT_FILENO)) {}

    void Show(float percent, double position, double frameSeconds)
    {
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        const double frames = frameSeconds > 0 ? position / frameSeconds : 0;
        // A rate over the first instants of a run says nothing but noise.
        char fps[32] = "    --";
        if (elapsed >= 0.25)
            std::snprintf(fps, sizeof fps, "%6.1f", frames / elapsed);
        const double left = percent > 0.5f ? elapsed * (100.0 - percent) / percent : -1;
        if (tty_) {
            const int filled = int(percent / 100.0f * 30.0f);
            std::printf("\r[%s%s] %5.1f %%  %s elapsed  %s fps  %s left ", std::string(size_t(filled), '#').c_str(),
                        std::string(size_t(30 - filled), '.').c_str(), percent, Clock(elapsed).c_str(), fps,
                        Clock(left).c_str());
            std::fflush(stdout);
        } else if (percent >= nextLine_ || percent >= 100.0f) {
            std::printf("%5.1f %%  %s elapsed  %s fps  %s left\n", percent, Clock(elapsed).c_str(), fps,
                        Clock(left).c_str());
            std::fflush(stdout);
            nextLine_ = percent + 10.0f;
        }
    }
    void Done()
    {
        if (tty_)
            std::printf("\n");
    }
    double Elapsed() const { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count(); }

private:
    double length_;
    bool tty_;
    float nextLine_ = 0.0f;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

int Fail(const std::string& message)
{
    std::fprintf(stderr, "zolvex-render: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    const Options o = Parse(argc, argv);
    // FFmpeg's own complaints about a damaged clip would bury the one line that matters;
    // the failure we report says what went wrong.
    SetLogLevel(o.verbose ? LogLevel::kInfo : LogLevel::kQuiet);

    // The project: PROJECT.mpf lies in its own folder under the data folder.
    if (Extension(o.project) != ".mpf")
        return Fail("the project must be a \".mpf\" file: " + o.project);
    struct stat st;
    if (stat(o.project.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return Fail("no project file at " + o.project);
    const std::string projectFolder = Folder(o.project);
    const std::string name = Base(o.project).substr(0, Base(o.project).size() - 4);
    if (Base(projectFolder) != name)
        return Fail("a project file lies in a folder of its own name (" + name + "/" + name + ".mpf)");
    const std::string data = o.dataDir.empty() ? Folder(projectFolder) : o.dataDir;
    setenv("ZOLVEX_DATA_DIR", data.c_str(), 1);

    MovieOutputParams params;
    std::string error;
    if (!MakeParams(o, params, &error))
        return Fail(error);

    // The output: never over an existing file unless asked, and written beside it
    // under a temporary name that becomes the movie only when the movie is whole.
    if (stat(o.output.c_str(), &st) == 0 && !o.overwrite)
        return Fail(o.output + " exists (--overwrite replaces it)");
    const std::string outFolder = Folder(o.output);
    if (!IsFolder(outFolder) || access(outFolder.c_str(), W_OK) != 0)
        return Fail("cannot write into the folder " + outFolder);
    // Hidden beside the output, ending as the output does, since the encoder picks the
    // container from the name. It stays open here while the encoder writes to it, so
    // the name cannot pass to another process before the movie is done.
    ReplacingFile partial;
    if (!partial.OpenHidden(o.output, ".zolvex-render-", Extension(o.output)))
        return Fail("cannot write into the folder " + outFolder);
    if (partial.Path().size() >= 260)
        return Fail("the output path is too long: " + o.output);
    // From here on an interruption ends the run through the loop below, which removes
    // the partial movie, instead of killing the program with it left behind.
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);

    ProjectModel model;
    model.name = name;
    ProjectStore store(model);
    store.SetReadyDelay(0);
    if (!store.LoadProject())
        return Fail("the project " + o.project + " is missing or damaged");
    if (model.SceneCount() == 0)
        return Fail("the project " + o.project + " has no scenes");

    AnimationLibrary animations(DataFolder());
    animations.Load();
    ScreenLibrary screens;
    screens.Load(DataFolder());

    // The filter, made by its class identifier as the studio makes it.
    DllRegisterServer();
    IUnknown* filter = nullptr;
    if (CreateInstance(CLSID_TavmSource, IID_IUnknown, reinterpret_cast<void**>(&filter)) != S_OK)
        return Fail("the rendering filter could not be created");
    ITavmControl* control = nullptr;
    filter->QueryInterface(IID_ITavmControl, reinterpret_cast<void**>(&control));
    filter->Release();
    if (!control)
        return Fail("the rendering filter has no control interface");

    const ProjectHeader& h = model.header;
    auto settings = [&]() {
        return control->SetOutputFormat(params.nFrameRate, params.nWidth, params.nHeight, params.nVideoCodec,
                                        params.nVideoBitRate, params.nAudioCodec, params.nAudioBitRate,
                                        params.nChannels, params.nSampleRate, params.nQuality, partial.Path().c_str(),
                                        params.szFormatName.c_str(), h.nAspectNumerator, h.nAspectDenominator) ==
                   S_OK &&
               control->SetSrcVideoSize(h.nWidth, h.nHeight) == S_OK &&
               control->SetDisplayAspect(h.nAspectNumerator, h.nAspectDenominator) == S_OK;
    };
    int code = 0;
    {
        if (!settings()) {
            control->Release();
            return Fail("the movie settings are not possible (" + std::to_string(params.nWidth) + "x" +
                        std::to_string(params.nHeight) + ")");
        }
        std::unique_ptr<CTavmGraph> graph = CTavmGraph::Build(filter, CTavmGraph::kDiscardingSinks, &error);
        if (!graph || !graph->Pause()) {
            control->Release();
            return Fail(graph ? "the graph did not get ready" : error);
        }
        settings();
        control->SetAnimationLibrary(animations.Records(), animations.Versions());
        control->SetScreenMasks(screens.Masks(), screens.MaskSizes());
        control->SetPictureList(screens.Pictures());
        if (control->SetMode(1) != S_OK) {
            char why[512];
            control->GetOutputError(why, sizeof why);
            control->SetMode(0);
            graph.reset();
            control->Release();
            return Fail(std::string("the movie cannot be written: ") + why);
        }
        const TimelineLists lists = model.Lists();
        control->SetTimeline(lists.pScenes, lists.pSpans, lists.pObjects, lists.pKinds, 1.0, 5.0);
        graph->Seek(0);
        graph->Run();

        int64_t length = 0;
        control->GetDuration(&length);
        Progress progress(double(length) / 1e7);
        const double frameSeconds = 1.0 / params.nFrameRate;
        std::printf("Rendering %s (%.1f s) into %s as %s %dx%d\n", o.project.c_str(), double(length) / 1e7,
                    o.output.c_str(), params.szFormatName.c_str(), params.nWidth, params.nHeight);
        float percent = 0;
        while (!g_cancel) {
            int64_t position = 0;
            control->GetPosition(&position);
            control->GetProgress(&percent);
            progress.Show(percent, double(position) / 1e7, frameSeconds);
            if (percent >= 100.0f)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
        // The last tenth of a second counts as done; the streams still end properly,
        // so the end of the movie is not cut off.
        if (!g_cancel && !graph->WaitForEnd(60000, &error))
            code = Fail("rendering did not finish: " + error);
        progress.Done();
        graph->Stop();
        control->FinishOutput();
        control->SetMode(0);
        control->SetFrameRate(15.0);
        char why[512];
        control->GetOutputError(why, sizeof why);
        if (g_cancel)
            code = Fail("cancelled");
        else if (*why)
            code = Fail(std::string("writing the movie failed: ") + why);
        if (code == 0)
            std::printf("%.1f s of movie in %.1f s\n", double(length) / 1e7, progress.Elapsed());
    }
    control->Release();
    if (code != 0)
        return code;  // `partial` removes what was written
    if (!partial.Commit())
        return Fail("the movie could not be moved to " + o.output);
    stat(o.output.c_str(), &st);
    std::printf("Wrote %s (%lld bytes)\n", o.output.c_str(), static_cast<long long>(st.st_size));
    return 0;
}
