// The demo's media files, each drawn or composed from formulas so that every run
// writes the same pictures and sounds. Each writer answers false with a message in
// *error when the file cannot be written.
#pragma once

#include <string>

namespace zolvex {
namespace demomaker {

// The movies' frame size and the sound of the movies and the music.
constexpr int kFrameWidth = 720, kFrameHeight = 576;
constexpr int kSampleRate = 44100, kChannels = 2;
constexpr double kMusicSeconds = 40.0;

// A beach at sunset with a bouncing beach ball: MPEG-2 and MP2 in a program
// stream, 10.4 s at 25 frames a second.
bool WriteBayClip(const std::string& path, std::string* error);
// Bubbles rising round a turning golden star, with a music-box chord: MPEG-4
// and MP3 in AVI, as long as the first.
bool WriteBubbleClip(const std::string& path, std::string* error);
// A lake below snowy mountains, 1024 x 768 JPEG.
bool WriteLandscape(const std::string& path, std::string* error);
// A pink flower on a soft green background, 800 x 600 PNG.
bool WriteFlower(const std::string& path, std::string* error);
// A butterfly flapping its wings over a clear background, 128 x 128 GIF that loops;
// *frames receives the number of frames written.
bool WriteButterflyGif(const std::string& path, int* frames, std::string* error);
// A tune of kMusicSeconds as 16-bit stereo WAV.
bool WriteMusic(const std::string& path, std::string* error);

}  // namespace demomaker
}  // namespace zolvex
