// zolvex-render: renders a project file into a movie without a window, through the
// same filter, control interface and encoding run as the studio's Save Movie.
//
//   zolvex-render PROJECT.mpf -o OUTPUT [--format DVD_PAL|DVD_NTSC|SVCD_PAL|SVCD_NTSC|
//                 VCD_PAL|VCD_NTSC|AVI|3GP|SWF|MP4] [--size WxH] [--rate FPS]
//                 [--vbitrate BPS] [--quality 0-10] [--channels 1|2] [--samplerate HZ]
//                 [--abitrate BPS] [--full-motion] [--data-dir DIR] [--overwrite] [--verbose]
//
// Quiet but for its own verdict; --verbose lets the library and FFmpeg say what they do.
// Exits 0 only when the movie was written; on any failure no partial file is left.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "filter/common/Log.h"
#include "platform/ReplacingFile.h"
#include "studio/maker/AnimationLibrary.h"
#include "studio/project/DataFolder.h"
#include "studio/project/ProjectFile.h"
#include "studio/project/ScreenLibrary.h"
#include "studio/shell/MovieOutputParams.h"
#include "studio/shell/MovieRun.h"

using namespace zolvex;
using namespace zolvex::studio;

namespace {

// What the program's exit status says.
constexpr int kExitWritten = 0;       // the movie is whole and in place
constexpr int kExitFailed = 1;        // no movie: cancelled, refused or failed; nothing changed
constexpr int kExitUsage = 2;         // the command line is wrong
constexpr int kExitMediaMissing = 3;  // the movie was written, but without media that could not be used

std::atomic<bool> g_cancel{false};
// The partial movie's name, for a second interruption: the run may be stuck where it
// cannot look at g_cancel, and the user has asked twice.
char g_partial[4096];

void OnSignal(int)
{
    if (!g_cancel.exchange(true))
        return;
    if (g_partial[0])
        unlink(g_partial);
    static const char text[] = "zolvex-render: cancelled at once\n";
    const ssize_t ignored = write(STDERR_FILENO, text, sizeof text - 1);
    (void)ignored;
    _exit(1);
}

// Interrupt, terminate, a closed terminal or a closed pipe on our output all end the
// run the same way: the streams stop, the partial movie goes, the old file stays.
// A file grown past the size limit is a write error the encoder reports, not death.
void CatchSignals()
{
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
        sigaction(signal, &action, nullptr);
    std::signal(SIGXFSZ, SIG_IGN);
}

// -1 everywhere: not given, the kind's own value.
struct Options {
    std::string project, output, format, dataDir, rate;
    int width = -1, height = -1, videoBitRate = -1, quality = -1, channels = -1, sampleRate = -1,
        audioBitRate = -1;
    bool overwrite = false, verbose = false, allowMissing = false, fullMotion = false;
};

[[noreturn]] void Usage(const std::string& why)
{
    if (!why.empty())
        std::fprintf(stderr, "zolvex-render: %s\n", why.c_str());
    std::fprintf(stderr,
                 "usage: zolvex-render PROJECT.mpf -o OUTPUT [--format DVD_PAL|DVD_NTSC|SVCD_PAL|SVCD_NTSC|VCD_PAL|"
                 "VCD_NTSC|AVI|3GP|SWF|MP4]\n"
                 "       [--size WxH] [--rate FPS] [--vbitrate BPS] [--quality 0-10] [--channels 1|2]\n"
                 "       [--samplerate HZ] [--abitrate BPS] [--full-motion] [--data-dir DIR] [--overwrite]\n"
                 "       [--allow-missing] [--verbose]\n");
    std::exit(kExitUsage);
}

int Number(const std::string& text, const std::string& option)
{
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end || errno || v < 0 || v > 1000000000)
        Usage("not a number for " + option + ": " + text);
    return int(v);
}

Options Parse(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                Usage(a + " needs a value");
            return argv[++i];
        };
        if (a == "-o" || a == "--output")
            o.output = value();
        else if (a == "--format")
            o.format = value();
        else if (a == "--size") {
            const std::string v = value();
            const size_t x = v.find_first_of("xX");
            if (x == std::string::npos)
                Usage("--size takes WxH");
            o.width = Number(v.substr(0, x), "--size");
            o.height = Number(v.substr(x + 1), "--size");
        } else if (a == "--rate")
            o.rate = value();
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
        else if (a == "--allow-missing")
            o.allowMissing = true;
        else if (a == "--full-motion")
            o.fullMotion = true;
        else if (a == "-v" || a == "--verbose")
            o.verbose = true;
        else if (a == "-h" || a == "--help")
            Usage("");
        else if (!a.empty() && a[0] == '-')
            Usage("unknown option " + a);
        else if (o.project.empty())
            o.project = a;
        else
            Usage("more than one project: " + a);
    }
    if (o.project.empty() || o.output.empty())
        Usage("a project and an output (-o) are needed");
    if (o.quality > 10)
        Usage("--quality runs from 0 to 10");
    if (o.channels != -1 && o.channels != 1 && o.channels != 2)
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

std::string Upper(std::string text)
{
    for (char& c : text)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return text;
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

// The index of the entry an option names in one of the kind's lists, or a refusal
// that lists what the kind offers.
template <class Matches>
bool Choose(const std::vector<ChoiceEntry>& list, bool given, const std::string& option, const std::string& text,
            const std::string& format, Matches matches, int* index, std::string* error)
{
    if (!given)
        return true;
    std::string offered;
    for (size_t i = 0; i < list.size(); ++i) {
        if (matches(list[i])) {
            *index = int(i);
            return true;
        }
        offered += (i ? ", " : "") + list[i].label;
    }
    *error = format + " movies do not offer " + option + " " + text + " (offered: " + offered + ")";
    return false;
}

// The movie's parameters from the format and the options: every option is one of
// the choices the Save Movie page offers for the kind.
bool MakeParams(const Options& o, MovieOutputParams& params, std::string* error)
{
    MovieChoices choices;
    std::string format = Upper(o.format);
    if (format.empty()) {
        const std::string ext = Extension(o.output);
        format = ext == ".avi"   ? "AVI"
                 : ext == ".3gp" ? "3GP"
                 : ext == ".swf" ? "SWF"
                 : ext == ".mp4" ? "MP4"
                                 : "DVD_PAL";
    }
    DiscProfile profile = kDvdPal;
    if (!ParseFormatName(format, choices.kind, profile)) {
        *error = "unknown format " + o.format + " (DVD_PAL, DVD_NTSC, SVCD_PAL, SVCD_NTSC, VCD_PAL, VCD_NTSC, AVI, "
                 "3GP, SWF or MP4)";
        return false;
    }
    const MovieKind kind = choices.kind;
    const bool disc = kind == kMovieDisc;
    choices.profile = profile;
    choices.videoCodec = disc && (profile == kVcdPal || profile == kVcdNtsc) ? 0 : disc ? 1 : 0;
    choices.channels = o.channels == -1 ? -1 : o.channels - 1;
    choices.movieName = "movie";
    choices.fullMotion = o.fullMotion;
    if (o.quality >= 0 && !disc)
        choices.quality = o.quality;
    // 29.97 is how a disc's or an MP4's NTSC rate is written, 23.976 film's in an
    // MP4; the lists hold them as 29 and 23.
    const bool fractional = disc || kind == kMovieMp4;
    const std::string rate = o.rate == "29.97" && fractional      ? "29"
                             : o.rate == "23.976" && kind == kMovieMp4 ? "23"
                                                                        : o.rate;
    const int rateValue = rate.empty() ? -1 : Number(rate, "--rate");
    const std::string size = std::to_string(o.width) + "x" + std::to_string(o.height);
    if (!Choose(
            FrameSizes(kind), o.width != -1, "--size", size, format,
            [&](const ChoiceEntry& e) { return e.width == o.width && e.height == o.height; }, &choices.frameSize,
            error) ||
        !Choose(
            FrameRates(kind), !rate.empty(), "--rate", o.rate, format,
            [&](const ChoiceEntry& e) { return e.value == rateValue; }, &choices.frameRate, error) ||
        !Choose(
            AudioBitRates(kind, profile), o.audioBitRate != -1, "--abitrate", std::to_string(o.audioBitRate), format,
            [&](const ChoiceEntry& e) { return e.value == o.audioBitRate; }, &choices.audioBitRate, error) ||
        !Choose(
            SampleRates(kind, profile), o.sampleRate != -1, "--samplerate", std::to_string(o.sampleRate), format,
            [&](const ChoiceEntry& e) { return e.value == o.sampleRate; }, &choices.sampleRate, error))
        return false;
    if (kind == kMovie3gp && o.channels == 2) {
        *error = "3GP movies carry mono sound only (--channels 1)";
        return false;
    }
    if (!FillMovieParams(choices, params, error))
        return false;
    // The video bit rate is the one number the page does not list: a disc's players
    // take up to 9.8 Mbit/s, the other kinds are driven by quality when it is 0. An
    // MP4 given a bit rate (and no quality) is made to that rate, up to 1080p's 50.
    if (o.videoBitRate != -1) {
        const int most = kind == kMovieMp4 ? 50000000 : 9800000;
        if (o.videoBitRate < 64000 || o.videoBitRate > most) {
            *error = "--vbitrate runs from 64000 to " + std::to_string(most);
            return false;
        }
        params.nVideoBitRate = o.videoBitRate;
        if (kind == kMovieMp4 && o.quality < 0)
            params.nQuality = -1;
    }
    const std::string ext = Extension(o.output), want = MovieExtension(kind);
    if (ext != want) {
        *error = "a " + format + " movie is written as a \"" + want + "\" file, not \"" + o.output + "\"";
        return false;
    }
    return true;
}

// Which parts of the project play `path`: "scene 2", "music (object 5)" …
std::string UsersOf(ProjectModel& model, const std::string& path)
{
    std::string users;
    auto add = [&](const std::string& what, const char* field, size_t size) {
        if (std::string(field, strnlen(field, size)) == path)
            users += (users.empty() ? "" : ", ") + what;
    };
    for (int i = 0; i < model.SceneCount(); ++i) {
        const SceneRecord& r = model.Record(i);
        add("scene " + std::to_string(i + 1), r.szPath, sizeof r.szPath);
    }
    for (int i = 0; i < model.ObjectCount(); ++i) {
        if (model.Kind(i) == OBJ_MUSIC) {
            const AudioOp* music = static_cast<AudioOp*>(model.Object(i));
            add("music (object " + std::to_string(i + 1) + ")", music->szPath, sizeof music->szPath);
        }
    }
    return users;
}

// Names each file the render could not use, once, with the parts that play it: the
// movie is made without them (black scenes, silence), which must not pass for the
// whole project.
void ReportUnusable(const std::vector<MediaProblem>& problems, ProjectModel& model, const char* what)
{
    for (const MediaProblem& p : problems) {
        std::string users = what ? what : UsersOf(model, p.path);
        std::fprintf(stderr, "zolvex-render: cannot use %s%s%s: %s\n", users.c_str(), users.empty() ? "" : ": ",
                     p.path.empty() ? "(no file name)" : p.path.c_str(), p.why.c_str());
    }
}

// The output must not be one of the files the render reads: writing it would destroy
// the project or a clip halfway through reading it.
std::string ReadFileAtOutput(ProjectModel& model, const std::string& project, const std::string& output)
{
    struct stat out;
    if (stat(output.c_str(), &out) != 0)
        return std::string();
    auto same = [&](const char* path) {
        struct stat st;
        return path && *path && stat(path, &st) == 0 && st.st_dev == out.st_dev && st.st_ino == out.st_ino;
    };
    if (same(project.c_str()))
        return "the project file itself";
    for (int i = 0; i < model.SceneCount(); ++i)
        if (same(model.Record(i).szPath))
            return std::string("the clip of scene ") + std::to_string(i + 1);
    for (int i = 0; i < model.ObjectCount(); ++i) {
        const char* path = model.Kind(i) == OBJ_PICTURE  ? static_cast<StickerOp*>(model.Object(i))->szPath
                           : model.Kind(i) == OBJ_MUSIC ? static_cast<AudioOp*>(model.Object(i))->szPath
                                                         : nullptr;
        if (same(path))
            return std::string("a file the project's object ") + std::to_string(i + 1) + " plays";
    }
    return std::string();
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

int Fail(const std::string& message, int status = kExitFailed)
{
    std::fflush(stdout);  // what was said before comes before the failure
    std::fprintf(stderr, "zolvex-render: %s\n", message.c_str());
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    // First of all, so that no interruption, however early, kills the run with a
    // partial movie left behind.
    CatchSignals();
    const Options o = Parse(argc, argv);
    // FFmpeg's own complaints about a damaged clip would bury the one line that matters;
    // the failure we report says what went wrong.
    SetLogLevel(o.verbose ? LogLevel::kInfo : LogLevel::kQuiet);

    // The project file, wherever it lies. Its libraries are in the data folder, which
    // holds the project's own folder when the project lies in one of its name.
    if (Extension(o.project) != ".mpf")
        return Fail("the project must be a \".mpf\" file: " + o.project);
    char real[PATH_MAX];
    struct stat st;
    if (!realpath(o.project.c_str(), real) || stat(real, &st) != 0 || !S_ISREG(st.st_mode))
        return Fail("no project file at " + o.project);
    const std::string project = real;
    const std::string projectFolder = Folder(project);
    const std::string name = Base(project).substr(0, Base(project).size() - 4);
    const std::string data =
        !o.dataDir.empty() ? o.dataDir : Base(projectFolder) == name ? Folder(projectFolder) : projectFolder;
    setenv("ZOLVEX_DATA_DIR", data.c_str(), 1);

    // The output: never over a folder, never over an existing file unless asked.
    if (IsFolder(o.output))
        return Fail(o.output + " is a folder; the output is the movie file's name");
    MovieOutputParams params;
    std::string error;
    if (!MakeParams(o, params, &error))
        return Fail(error);
    if (stat(o.output.c_str(), &st) == 0 && !o.overwrite)
        return Fail(o.output + " exists (--overwrite replaces it)");
    const std::string outFolder = Folder(o.output);
    if (!IsFolder(outFolder) || access(outFolder.c_str(), W_OK) != 0)
        return Fail("cannot write into the folder " + outFolder);

    ProjectModel model;
    model.name = name;
    ProjectStore store(model);
    store.SetReadyDelay(0);
    if (!store.LoadProjectFile(project))
        return Fail("the project " + o.project + " cannot be read: " + store.LastError());
    if (model.SceneCount() == 0)
        return Fail("the project " + o.project + " has no scenes");
    const ProjectHeader& h = model.header;
    if (h.nWidth < 16 || h.nWidth > 4096 || h.nHeight < 16 || h.nHeight > 4096 || h.nAspectNumerator < 1 ||
        h.nAspectNumerator > 1000 || h.nAspectDenominator < 1 || h.nAspectDenominator > 1000)
        return Fail("the project's frame size or aspect is damaged (" + std::to_string(h.nWidth) + "x" +
                    std::to_string(h.nHeight) + ", " + std::to_string(h.nAspectNumerator) + ":" +
                    std::to_string(h.nAspectDenominator) + ")");
    // Movies are made of the project's whole seconds: less than one would make a file
    // without a picture, which no player takes.
    if (!(model.TotalLength() > 0))
        return Fail("the project " + o.project + " lasts no time at all");
    if (model.TotalLength() < 1.0)
        return Fail("the project " + o.project + " lasts less than a second; a movie is made of its whole seconds");
    // Animated pictures whose files cannot be used were left out as the project loaded.
    ReportUnusable(store.DroppedPictures(), model, "an animated picture");
    size_t unusable = store.DroppedPictures().size();
    const std::string victim = ReadFileAtOutput(model, project, o.output);
    if (!victim.empty())
        return Fail(o.output + " is " + victim + "; the movie cannot be written over it");

    // Written beside the output under a hidden temporary name, ending as the output
    // does since the encoder picks the container from the name. It stays open here
    // while the encoder writes to it, so the name cannot pass to another process
    // before the movie is done, and becomes the movie only when the movie is whole.
    ReplacingFile partial;
    if (!partial.OpenHidden(o.output, ".zolvex-render-", Extension(o.output)))
        return Fail("cannot write into the folder " + outFolder);
    if (partial.Path().size() >= 260 || partial.Path().size() >= sizeof g_partial)
        return Fail("the output path is too long: " + o.output);
    std::memcpy(g_partial, partial.Path().c_str(), partial.Path().size() + 1);
    if (g_cancel)
        return Fail("cancelled");

    AnimationLibrary animations(DataFolder());
    animations.Load();
    ScreenLibrary screens;
    screens.Load(DataFolder());

    // The same encoding run as the studio's Save Movie, on a filter of its own.
    MovieRunSetup setup;
    setup.params = params;
    setup.outputPath = partial.Path();
    setup.header = h;
    setup.lists = model.Lists();
    setup.animations = &animations;
    setup.screens = &screens;
    MovieRun run;
    // An interruption while the graph gets ready can be what kept it from getting
    // ready; the user asked for the end, so that is what is said.
    if (!run.Start(setup, &error))
        return Fail(g_cancel ? "cancelled" : error);
    const double frameSeconds = run.FrameSeconds();
    int code = 0;
    {
        const int64_t length = run.Duration();
        Progress progress(double(length) / 1e7);
        std::printf("Rendering %s (%.1f s) into %s as %s %dx%d\n", o.project.c_str(), double(length) / 1e7,
                    o.output.c_str(), params.szFormatName.c_str(), params.nWidth, params.nHeight);
        // Until both streams end (or one fails, or the user cancels); the progress
        // bar only shows where the run stands.
        MovieRun::State outcome = MovieRun::State::kRunning;
        while (!g_cancel && outcome == MovieRun::State::kRunning) {
            const int64_t position = run.Position();
            progress.Show(run.Progress(), double(position) / 1e7, frameSeconds);
            outcome = run.Poll(250, &error);
        }
        if (outcome == MovieRun::State::kFailed)
            code = Fail("rendering did not finish: " + error);
        else if (outcome == MovieRun::State::kEnded)
            progress.Show(100.0f, double(length) / 1e7, frameSeconds);
        progress.Done();
        std::string why;
        run.Finish(&why);
        ReportUnusable(run.MediaProblems(), model, nullptr);
        unusable += run.MediaProblems().size();
        if (g_cancel)
            code = Fail("cancelled");
        else if (!why.empty())
            code = Fail(std::string("writing the movie failed: ") + why);
        if (code == 0)
            std::printf("%.1f s of movie in %.1f s\n", double(length) / 1e7, progress.Elapsed());
    }
    if (code != 0)
        return code;  // `partial` removes what was written
    const bool committed = partial.Commit();
    g_partial[0] = 0;
    if (!committed)
        return Fail("the movie could not be moved to " + o.output + ": " + std::strerror(errno));
    stat(o.output.c_str(), &st);
    std::printf("Wrote %s (%lld bytes)\n", o.output.c_str(), static_cast<long long>(st.st_size));
    if (unusable > 0 && !o.allowMissing)
        return Fail("the movie was made without " + std::to_string(unusable) +
                        (unusable == 1 ? " file" : " files") + " of the project (--allow-missing accepts that)",
                    kExitMediaMissing);
    return kExitWritten;
}
