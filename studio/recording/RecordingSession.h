// One visit of the recorder: a recording into a temporary WAV file and, when it is
// stopped, the file stored in the project folder under the time it was made. The
// messages go through the prompt; nothing here touches a widget.
#pragma once

#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Prompt.h"
#include "studio/recording/VoiceRecorder.h"

namespace zolvex {
namespace studio {

// Told when the system has no sound input at all.
void TellNoInputDevice(IPrompt& prompt);

// "%04d-%02d-%02d-%02d-%02d-%02d.wav" of a local time.
std::string RecordingFileName(const std::tm& local);

// Copies `temporary` into `folder` (made when missing) under the name of `when`; a
// file of that name is replaced. False after the message; *stored is the new file.
bool StoreRecording(const std::string& temporary, const std::string& folder, const std::tm& when, IPrompt& prompt,
                    std::string* stored);

// "Elapsed: 00:01:05" with the label given.
std::string ElapsedText(const std::string& label, double seconds);

// The desktop's recording volume controls, the first that is installed in `path`
// (a PATH list) and starts. `start` starts a program with its arguments and says
// whether it started.
using ProgramStarter = std::function<bool(const std::vector<std::string>& command)>;
std::vector<std::vector<std::string>> VolumeControlCommands();
bool StartVolumeControl(const ProgramStarter& start, const std::string& path);
// The executable `name` in a PATH list, or "".
std::string FindProgram(const std::string& name, const std::string& path);

class RecordingSession {
public:
    // `projectFolder` is the data folder + the project name + "/"; the recording is
    // written into `temporaryFolder` while it runs.
    RecordingSession(std::string temporaryFolder, std::string projectFolder, IPrompt& prompt,
                     VoiceRecorder::SourceMaker source = nullptr);
    ~RecordingSession();  // a recording still running is stopped and thrown away
    RecordingSession(const RecordingSession&) = delete;
    RecordingSession& operator=(const RecordingSession&) = delete;

    // Listens to the device in `format` so that the meter moves before a take; quiet
    // when the device cannot be opened (Record then says why).
    void Listen(const WAVEFORMATEX& format);
    void StopListening();
    bool Listening() const { return listener_.Recording(); }
    // Starts recording in `format`; false after the message.
    bool Start(const WAVEFORMATEX& format);
    // Ends the recording and stores it under the local time `now`; true when the
    // stored file is there.
    bool Stop(std::time_t now);
    // While recording, called by the window's timer: false when the recording ended
    // by itself (a file that cannot be written, a failing device), after its message.
    bool Check();
    bool Recording() const { return recorder_.Recording(); }
    double Elapsed() const { return recorder_.Elapsed(); }
    // The level of the take, or of the listening before it.
    double LevelDb() const { return recorder_.Recording() ? recorder_.LevelDb() : listener_.LevelDb(); }

    const std::string& TemporaryPath() const { return temporary_; }
    const std::string& StoredPath() const { return stored_; }
    // Whether a stored recording goes into the media library and onto the timeline.
    void SetKeep(bool keep) { keep_ = keep; }
    bool Keep() const { return keep_; }

    // After the dialog: the temporary file is deleted, and the stored one too unless
    // it is kept. The kept recording's path, or "".
    std::string Finish();

private:
    void Abandon();

    std::string temporaryFolder_, projectFolder_;
    IPrompt& prompt_;
    VoiceRecorder recorder_, listener_;
    std::string temporary_, stored_;
    bool keep_ = true;
};

}  // namespace studio
}  // namespace zolvex
