#include "studio/recording/RecordingSession.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <sstream>

#include "studio/project/DataFolder.h"

namespace zolvex {
namespace studio {

namespace {

constexpr char kCreateFailed[] = "Error Creating Sound File";
constexpr char kWriteFailed[] = "Error Writing Sound File";

// Copies a file to a new one, never over an existing file; a copy that fails part
// way leaves no half file behind.
bool CopyToNew(const std::string& from, const std::string& to)
{
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (out < 0) {
        ::close(in);
        return false;
    }
    bool ok = true;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(in, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        for (ssize_t done = 0; ok && done < got;) {
            const ssize_t put = ::write(out, buffer + done, size_t(got - done));
            if (put < 0 && errno == EINTR)
                continue;
            ok = put > 0;
            done += put > 0 ? put : 0;
        }
        if (!ok)
            break;
    }
    ::close(in);
    ok = ::close(out) == 0 && ok;
    if (!ok)
        ::unlink(to.c_str());
    return ok;
}

bool Exists(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace

void TellNoInputDevice(IPrompt& prompt)
{
    prompt.Show("Unable to detect audio input device. You need a sound card with microphone input.", "Note",
                kPromptWarning, kPromptOk);
}

std::string RecordingFileName(const std::tm& local)
{
    char name[64];
    std::snprintf(name, sizeof name, "%04d-%02d-%02d-%02d-%02d-%02d.wav", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return name;
}

bool StoreRecording(const std::string& temporary, const std::string& folder, const std::tm& when, IPrompt& prompt,
                    std::string* stored)
{
    if (folder.empty() || !MakeFolders(folder)) {
        prompt.Show("Failed to create directory with the project name", "Error", kPromptWarning, kPromptOk);
        return false;
    }
    std::string path = folder;
    if (path.back() != '/')
        path += '/';
    path += RecordingFileName(when);
    // A recording made in the same second replaces the one before it.
    if (Exists(path) && ::unlink(path.c_str()) != 0) {
        prompt.Show("A file with same name was used by another program,\n can't create voice file.", "Error",
                    kPromptWarning, kPromptOk);
        return false;
    }
    if (!CopyToNew(temporary, path)) {
        prompt.Show(kWriteFailed, "Note", kPromptWarning, kPromptOk);
        return false;
    }
    if (stored)
        *stored = path;
    return true;
}

std::string ElapsedText(const std::string& label, double seconds)
{
    const long whole = seconds > 0 ? long(seconds) : 0;
    char text[128];
    std::snprintf(text, sizeof text, "%s: %02ld:%02ld:%02ld", label.c_str(), whole / 3600, whole / 60 % 60,
                  whole % 60);
    return text;
}

std::vector<std::vector<std::string>> VolumeControlCommands()
{
    // The input devices' page of the PulseAudio mixer first; then the desktops' own
    // sound settings; last the capture view of the ALSA mixer, which needs a terminal.
    return {
        {"pavucontrol", "--tab=4"},
        {"gnome-control-center", "sound"},
        {"systemsettings", "kcm_pulseaudio"},
        {"x-terminal-emulator", "-e", "alsamixer", "-V", "capture"},
    };
}

std::string FindProgram(const std::string& name, const std::string& path)
{
    std::stringstream folders(path);
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        if (folder.empty())
            continue;
        const std::string candidate = folder + "/" + name;
        struct stat st;
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return std::string();
}

bool StartVolumeControl(const ProgramStarter& start, const std::string& path)
{
    for (const std::vector<std::string>& command : VolumeControlCommands()) {
        bool installed = true;
        // The terminal's program must be there too.
        for (size_t i = 0; i < command.size() && installed; ++i)
            if (i == 0 || (command[0] == "x-terminal-emulator" && i == 2))
                installed = !FindProgram(command[i], path).empty();
        if (installed && start(command))
            return true;
    }
    return false;
}

RecordingSession::RecordingSession(std::string temporaryFolder, std::string projectFolder, IPrompt& prompt,
                                   VoiceRecorder::SourceMaker source)
    : temporaryFolder_(std::move(temporaryFolder)),
      projectFolder_(std::move(projectFolder)),
      prompt_(prompt),
      recorder_(source),
      listener_(std::move(source))
{
}

RecordingSession::~RecordingSession()
{
    Abandon();
    if (!temporary_.empty())
        ::unlink(temporary_.c_str());
}

void RecordingSession::Listen(const WAVEFORMATEX& format)
{
    StopListening();
    std::string ignored;
    if (!recorder_.Recording())
        listener_.Start(format, std::string(), &ignored);
}

void RecordingSession::StopListening()
{
    if (listener_.Recording()) {
        std::string ignored;
        listener_.Stop(&ignored);
    }
}

void RecordingSession::Abandon()
{
    StopListening();
    if (recorder_.Recording()) {
        std::string ignored;
        recorder_.Stop(&ignored);
    }
}

bool RecordingSession::Start(const WAVEFORMATEX& format)
{
    if (recorder_.Recording())
        return false;
    // A device may take one reader only.
    StopListening();
    // Each take gets a fresh temporary name; the one before is gone.
    if (!temporary_.empty())
        ::unlink(temporary_.c_str());
    temporary_ = TemporaryWavePath(temporaryFolder_);
    std::string error;
    if (temporary_.empty() || !recorder_.Start(format, temporary_, &error)) {
        if (temporary_.empty() || error == kCreateFailed)
            prompt_.Show(kCreateFailed, "Note", kPromptWarning, kPromptOk);
        else
            prompt_.Show(error, "Error", kPromptWarning, kPromptOk);
        if (!temporary_.empty())
            ::unlink(temporary_.c_str());
        return false;
    }
    return true;
}

bool RecordingSession::Check()
{
    if (!recorder_.Recording())
        return false;
    if (recorder_.WriteFailed()) {
        Abandon();
        prompt_.Show(kWriteFailed, "Note", kPromptNoIcon, kPromptOk);
        return false;
    }
    const VoiceRecorder::DeviceError failure = recorder_.Failure();
    if (failure.failed) {
        Abandon();
        prompt_.Show(WaveInMessage(failure.code, failure.text, "Error in AddInputBufferToQueue()"), "Error",
                     kPromptWarning, kPromptOk);
        return false;
    }
    return true;
}

bool RecordingSession::Stop(std::time_t now)
{
    if (!recorder_.Recording())
        return false;
    std::string error;
    if (!recorder_.Stop(&error)) {
        prompt_.Show(kWriteFailed, "Note", kPromptNoIcon, kPromptOk);
        return false;
    }
    std::tm local{};
    localtime_r(&now, &local);
    return StoreRecording(temporary_, projectFolder_, local, prompt_, &stored_);
}

std::string RecordingSession::Finish()
{
    Abandon();
    if (!temporary_.empty())
        ::unlink(temporary_.c_str());
    temporary_.clear();
    std::string kept;
    if (!stored_.empty()) {
        if (keep_)
            kept = stored_;
        else
            ::unlink(stored_.c_str());
    }
    stored_.clear();
    return kept;
}

}  // namespace studio
}  // namespace zolvex
