// Bytes of the project's own records in project and library files, little-endian,
// field by field; reserved bytes are written as 0 and ignored on reading.
#pragma once

#include "studio/project/ProjectRecords.h"

namespace zolvex {
namespace studio {

constexpr size_t kProjectHeaderBytes = 16;
constexpr size_t kMediaItemBytes = 1408;

void WriteProjectHeader(const ProjectHeader& h, unsigned char* out);
void ReadProjectHeader(const unsigned char* in, ProjectHeader& h);
void WriteMediaItem(const MediaItem& item, unsigned char* out);
void ReadMediaItem(const unsigned char* in, MediaItem& item);

// The object record of `kind` (its ObjectKindInfo size) to and from bytes. Effect
// track points are not part of the record.
void WriteObjectRecord(int32_t kind, const void* record, unsigned char* out);
// A new record of `kind` read from the bytes; nullptr for an unknown kind.
void* ReadObjectRecord(int32_t kind, const unsigned char* in);
// Frees a record made by ReadObjectRecord or owned by a project, with what it owns:
// an animated picture's frames, an effect's run-time data and track points, a 3D
// screen item's cached pictures.
void FreeObjectRecord(int32_t kind, void* record);
// A record of its own with the same content, for an undo step; nullptr when out of
// memory or for an unknown kind. An animated picture shares its frames; a 3D screen
// item leaves its cached pictures to be made again; an effect gets its own outline
// and none of the run-time data its original holds.
void* CopyObjectRecord(int32_t kind, const void* record);

}  // namespace studio
}  // namespace zolvex
