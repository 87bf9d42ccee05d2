// (Placeholder until the reader is built.)
#include "filter/media/TavmMediaReader.h"

struct CTavmMediaReader::Impl {};
CTavmMediaReader::CTavmMediaReader(Flavour) : impl_(new Impl) {}
CTavmMediaReader::~CTavmMediaReader() = default;
bool CTavmMediaReader::Probe(const char*, int*) { return false; }
bool CTavmMediaReader::Open(const char*) { return false; }
bool CTavmMediaReader::ReadFrameAt(double) { return false; }
double CTavmMediaReader::GetDuration() const { return 0; }
int CTavmMediaReader::GetWidth() const { return 0; }
int CTavmMediaReader::GetHeight() const { return 0; }
const unsigned char* CTavmMediaReader::GetFrameData() const { return nullptr; }
int64_t CTavmMediaReader::GetReadCount() const { return 0; }
int64_t CTavmMediaReader::GetSeekCount() const { return 0; }
double GuessMediaDuration(int64_t, int64_t, int64_t) { return -1; }
