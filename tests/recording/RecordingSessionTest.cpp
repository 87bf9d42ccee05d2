// A visit of the recorder: takes stored in the project folder under their time (and
// replacing one of the same second), what is kept and what is thrown away, the
// messages for a folder, a file or a device that fails, and the volume control
// that is installed.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <thread>

#include "platform/ReadFile.h"
#include "studio/recording/RecordingSession.h"
#include "studio/recording/WaveFile.h"
#include "tests/recording/FakeMicrophone.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/ScriptedPrompt.h"

using namespace zolvex;
using namespace zolvex::studio;

namespace {

bool Exists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

std::string Contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Put(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::tm Moment()
{
    std::tm t{};
    t.tm_year = 2026 - 1900, t.tm_mon = 11, t.tm_mday = 9, t.tm_hour = 7, t.tm_min = 5, t.tm_sec = 3;
    return t;
}

}  // namespace

TEST(StoreRecording, NamesTakesByTheirSecondAndReplacesOneOfTheSameSecond)
{
    testsupport::ScratchFolder folder("store");
    testsupport::ScriptedPrompt prompt;
    EXPECT_EQ(RecordingFileName(Moment()), "2026-12-09-07-05-03.wav");
    const std::string project = folder.Path() + "Data/Holiday/";
    Put(folder.Path() + "first.tmp", "first take");
    Put(folder.Path() + "second.tmp", "second");
    std::string stored;
    ASSERT_TRUE(StoreRecording(folder.Path() + "first.tmp", project, Moment(), prompt, &stored));
    EXPECT_EQ(stored, project + "2026-12-09-07-05-03.wav") << "the project folder is made";
    ASSERT_TRUE(StoreRecording(folder.Path() + "second.tmp", project, Moment(), prompt, &stored));
    EXPECT_EQ(Contents(stored), "second") << "the second take of the second replaces the first whole";
    EXPECT_TRUE(prompt.shown.empty());

    // A name that cannot be freed (a folder of files stands there) is said, and
    // nothing is lost.
    std::tm later = Moment();
    later.tm_sec = 4;
    ASSERT_EQ(::mkdir((project + RecordingFileName(later)).c_str(), 0755), 0);
    Put(project + RecordingFileName(later) + "/keep", "x");
    EXPECT_FALSE(StoreRecording(folder.Path() + "second.tmp", project, later, prompt, &stored));
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].text, "A file with same name was used by another program,\n can't create voice file.");
    EXPECT_EQ(prompt.shown[0].title, "Error");
    EXPECT_EQ(prompt.shown[0].icon, kPromptWarning);
    EXPECT_EQ(Contents(project + RecordingFileName(later) + "/keep"), "x");

    // A project folder that cannot be made.
    Put(folder.Path() + "plain", "a file where the data folder should be");
    EXPECT_FALSE(StoreRecording(folder.Path() + "second.tmp", folder.Path() + "plain/Holiday/", Moment(), prompt,
                                &stored));
    EXPECT_EQ(prompt.LastText(), "Failed to create directory with the project name");
    // A temporary file that went missing is not reported as stored.
    later.tm_sec = 5;
    EXPECT_FALSE(StoreRecording(folder.Path() + "gone.tmp", project, later, prompt, &stored));
    EXPECT_FALSE(Exists(project + RecordingFileName(later))) << "no half file";
    EXPECT_EQ(prompt.LastText(), "Error Writing Sound File");
}

TEST(RecordingSession, KeepsOrThrowsAwayATakeAndSaysWhatFails)
{
    testsupport::ScratchFolder folder("session");
    const std::string project = folder.Path() + "Data/Voice/";
    testsupport::ScriptedPrompt prompt;
    const WAVEFORMATEX format = PcmFormat(44100, 2, 16);
    const std::time_t now = std::time(nullptr);
    std::string kept;
    {
        RecordingSession session(folder.Path(), project, prompt,
                                 testsupport::FakeMicrophone("sine", "audio/x-raw,rate=44100,channels=2,format=S16LE"));
        // Listening before the take: the level comes, nothing is written.
        session.Listen(format);
        EXPECT_TRUE(session.Listening());
        for (int i = 0; i < 100 && session.LevelDb() < -40.0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_GT(session.LevelDb(), -40.0);
        EXPECT_EQ(session.TemporaryPath(), "");
        ASSERT_TRUE(session.Start(format));
        EXPECT_FALSE(session.Listening()) << "the take has the device to itself";
        const std::string temporary = session.TemporaryPath();
        EXPECT_TRUE(Exists(temporary));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_TRUE(session.Check());
        ASSERT_TRUE(session.Stop(now));
        std::tm local{};
        localtime_r(&now, &local);
        EXPECT_EQ(session.StoredPath(), project + RecordingFileName(local));
        WaveFile reader;
        std::string error;
        ASSERT_TRUE(reader.Open(session.StoredPath(), &error)) << error;
        EXPECT_GT(reader.DataBytes(), 0u);
        kept = session.Finish();
        EXPECT_EQ(kept, project + RecordingFileName(local));
        EXPECT_FALSE(Exists(temporary)) << "the temporary file goes after the dialog";
        EXPECT_TRUE(Exists(kept));
    }
    EXPECT_TRUE(Exists(kept)) << "a kept take outlives the session";
    {
        // Not kept: nothing stays behind; the take of the same second replaced the first.
        RecordingSession session(folder.Path(), project, prompt,
                                 testsupport::FakeMicrophone("silence", "audio/x-raw,rate=44100,channels=2,format=S16LE"));
        session.SetKeep(false);
        ASSERT_TRUE(session.Start(format));
        ASSERT_TRUE(session.Stop(now));
        EXPECT_EQ(session.Finish(), "");
        EXPECT_FALSE(Exists(kept));
    }
    {
        // Left while recording: the take and its temporary file are gone.
        RecordingSession session(folder.Path(), project, prompt,
                                 testsupport::FakeMicrophone("sine", "audio/x-raw,rate=11025,channels=1,format=S16LE"));
        ASSERT_TRUE(session.Start(PcmFormat(11025, 1, 8)));
        const std::string temporary = session.TemporaryPath();
        EXPECT_EQ(session.Finish(), "");
        EXPECT_FALSE(Exists(temporary));
    }
    EXPECT_TRUE(prompt.shown.empty()) << prompt.LastText();

    // A device that cannot be opened: its error with the code, the system's text and
    // what was being done; no temporary file stays.
    {
        RecordingSession session(folder.Path(), project, prompt, testsupport::MissingMicrophone());
        EXPECT_FALSE(session.Start(format));
        ASSERT_EQ(prompt.shown.size(), 1u);
        const std::string text = prompt.shown[0].text;
        EXPECT_EQ(text.rfind("WAVEIN:", 0), 0u) << text;
        EXPECT_NE(text.find("Error in StartAudioRecording()"), std::string::npos) << text;
        EXPECT_EQ(prompt.shown[0].title, "Error");
        EXPECT_FALSE(Exists(session.TemporaryPath()));
    }
    // No temporary folder to write in.
    {
        RecordingSession session(folder.Path() + "missing/", project, prompt,
                                 testsupport::FakeMicrophone("sine", "audio/x-raw,rate=44100,channels=2,format=S16LE"));
        EXPECT_FALSE(session.Start(format));
        EXPECT_EQ(prompt.LastText(), "Error Creating Sound File");
        EXPECT_EQ(prompt.shown.back().title, "Note");
    }
}

TEST(RecordingSession, AFullDiskEndsTheTakeWithItsMessage)
{
    testsupport::ScratchFolder folder("full");
    testsupport::ScriptedPrompt prompt;
    RecordingSession session(folder.Path(), folder.Path() + "Data/Voice/", prompt,
                             testsupport::FakeMicrophone("sine", "audio/x-raw,rate=44100,channels=2,format=S16LE"));
    // Files may not grow past 64 KiB, as on a disk that is full: the take fails within
    // half a second instead of recording on into nothing.
    struct rlimit was;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &was), 0);
    const auto oldSignal = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = was;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    ASSERT_TRUE(session.Start(PcmFormat(44100, 2, 16)));
    bool running = true;
    for (int i = 0; i < 100 && running; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        running = session.Check();
    }
    setrlimit(RLIMIT_FSIZE, &was);
    signal(SIGXFSZ, oldSignal);
    EXPECT_FALSE(running);
    EXPECT_FALSE(session.Recording());
    EXPECT_EQ(prompt.LastText(), "Error Writing Sound File");
    EXPECT_EQ(prompt.shown.back().title, "Note");
    EXPECT_FALSE(session.Stop(std::time(nullptr))) << "nothing is left to store";
    EXPECT_EQ(session.Finish(), "");
}

TEST(RecordingSession, TextsOfTheDialog)
{
    EXPECT_EQ(ElapsedText("Elapsed", 0.4), "Elapsed: 00:00:00");
    EXPECT_EQ(ElapsedText("Elapsed", 3725.9), "Elapsed: 01:02:05");
    EXPECT_EQ(WaveInMessage(0x1f, "Device busy", "in Stop()"), "WAVEIN:1f:Device busy in Stop()");
    // The system's text is cut at 100 bytes, never inside a character.
    std::string longText(99, 'a');
    longText += "\xc3\xa9tail";
    EXPECT_EQ(WaveInMessage(3, longText, "ctx"), "WAVEIN:3:" + std::string(99, 'a') + " ctx");
}

TEST(VolumeControl, StartsTheFirstInstalledThatStarts)
{
    testsupport::ScratchFolder folder("volume");
    auto install = [&](const std::string& name) {
        const std::string path = folder.Path() + name;
        Put(path, "#!/bin/sh\n");
        ::chmod(path.c_str(), 0755);
    };
    std::vector<std::string> tried;
    auto starter = [&tried](bool works) {
        return [&tried, works](const std::vector<std::string>& command) {
            tried.push_back(command[0]);
            return works;
        };
    };
    const std::string path = "/nonexistent:" + folder.Path();
    EXPECT_FALSE(StartVolumeControl(starter(true), path)) << "nothing installed";
    EXPECT_TRUE(tried.empty());
    install("x-terminal-emulator");
    EXPECT_FALSE(StartVolumeControl(starter(true), path)) << "a terminal without the mixer is no volume control";
    install("alsamixer");
    install("systemsettings");
    EXPECT_TRUE(StartVolumeControl(starter(true), path));
    EXPECT_EQ(tried, (std::vector<std::string>{"systemsettings"}));
    tried.clear();
    EXPECT_FALSE(StartVolumeControl(starter(false), path)) << "none started";
    EXPECT_EQ(tried, (std::vector<std::string>{"systemsettings", "x-terminal-emulator"}));
    EXPECT_EQ(VolumeControlCommands().front(), (std::vector<std::string>{"pavucontrol", "--tab=4"}));
}
