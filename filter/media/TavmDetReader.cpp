// (Placeholder until the reader is built.)
#include "filter/media/TavmDetReader.h"

struct CTavmDetReader::Impl {};
CTavmDetReader::CTavmDetReader() : impl_(new Impl) {}
CTavmDetReader::~CTavmDetReader() = default;
bool CTavmDetReader::Open(const char*) { return false; }
bool CTavmDetReader::ReadFrameAt(double) { return false; }
double CTavmDetReader::GetDuration() const { return 0; }
int CTavmDetReader::GetWidth() const { return 0; }
int CTavmDetReader::GetHeight() const { return 0; }
const unsigned char* CTavmDetReader::GetFrameData() const { return nullptr; }
const unsigned char* CTavmDetReader::GetFrameBuffer() const { return nullptr; }
