// Running the command-line tools the tests check files with (ffprobe, ffmpeg,
// dvdauthor, vcdimager).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace zolvex {
namespace testsupport {

// The text in single quotes for the shell.
std::string Quote(const std::string& text);

// Runs `command` with sh and returns its standard output; *status gets the exit
// status (-1 when it could not run or ended by a signal).
std::string Capture(const std::string& command, int* status = nullptr);

// Runs `command` and returns its standard output as raw bytes.
std::vector<unsigned char> CaptureBytes(const std::string& command, int* status = nullptr);

// True when `tool` can be found on the PATH.
bool HaveTool(const std::string& tool);

// The frame numbers that every decoded picture of a movie's first video stream
// shows (pictures made by the synthetic counter frames), in order, with ffmpeg.
std::vector<int> DecodedCounters(const std::string& path);

// Starts `command` with sh (which then becomes the command) without waiting; -1
// when it could not start.
pid_t Spawn(const std::string& command);

// Waits up to `seconds` for the process; false (and the process killed) when it is
// still running then.
bool WaitFor(pid_t pid, double seconds, int* status);

}  // namespace testsupport
}  // namespace zolvex
