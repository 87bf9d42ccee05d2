// The waits a person sees in the voice recorder: from Record until the take runs,
// from Stop until the take is stored in the project folder (after one second of a
// live 44.1 kHz stereo tone), and storing a ten-minute take (106 MB) after Stop.
#include <benchmark/benchmark.h>

#include <gst/gst.h>

#include <chrono>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "studio/recording/RecordingSession.h"
#include "studio/recording/WaveFile.h"
#include "tests/recording/FakeMicrophone.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/ScriptedPrompt.h"

using namespace zolvex;
using namespace zolvex::studio;

namespace {

GstElement* Tone()
{
    return testsupport::SourceOf(
        "audiotestsrc is-live=true freq=440 ! capsfilter caps=\"audio/x-raw,rate=48000,channels=2,format=F32LE\"");
}

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void RecordToStop(benchmark::State& state, bool timeStart)
{
    testsupport::ScratchFolder scratch("bench-recorder");
    testsupport::ScriptedPrompt nobody;
    const WAVEFORMATEX format = PcmFormat(44100, 2, 16);
    for (auto _ : state) {
        RecordingSession session(scratch.Path(), scratch.Path() + "Project/", nobody, Tone);
        const auto start = std::chrono::steady_clock::now();
        if (!session.Start(format)) {
            state.SkipWithError("the recording did not start");
            return;
        }
        const double started = Seconds(start);
        std::this_thread::sleep_for(std::chrono::seconds(1));
        const auto stop = std::chrono::steady_clock::now();
        if (!session.Stop(std::time(nullptr))) {
            state.SkipWithError("the take was not stored");
            return;
        }
        state.SetIterationTime(timeStart ? started : Seconds(stop));
        session.SetKeep(false);
        session.Finish();
    }
}

void RecordToRunning(benchmark::State& state) { RecordToStop(state, true); }
void StopToStored(benchmark::State& state) { RecordToStop(state, false); }

void StoreTenMinutes(benchmark::State& state)
{
    testsupport::ScratchFolder scratch("bench-recorder");
    testsupport::ScriptedPrompt nobody;
    const std::string take = scratch.Path() + "take.wav";
    {
        WaveFile wav;
        const WAVEFORMATEX format = PcmFormat(44100, 2, 16);
        const std::vector<uint8_t> block(format.nAvgBytesPerSec, 0x11);
        if (!wav.Create(take, format)) {
            state.SkipWithError("no scratch file");
            return;
        }
        for (int s = 0; s < 600; ++s)
            wav.Write(block.data(), block.size());
        wav.Close();
    }
    std::tm when{};
    when.tm_year = 126, when.tm_mday = 1;
    for (auto _ : state) {
        std::string stored;
        if (!StoreRecording(take, scratch.Path() + "Project/", when, nobody, &stored)) {
            state.SkipWithError("not stored");
            return;
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 600 * 176400);
}

}  // namespace

BENCHMARK(RecordToRunning)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(StopToStored)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(StoreTenMinutes)->Iterations(5)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
