// Byte layouts of the timeline records as the project file carries them: little-
// endian, field by field at fixed offsets, pointer and handle slots written as 0 and
// read back as null. Bytes that no field names are written as 0 and ignored on reading.
#pragma once

#include <cstddef>

#include "filter/timeline/model/TimelineRecords.h"
#include "platform/Export.h"

namespace zolvex {

template <class Record>
struct RecordLayout;
template <> struct RecordLayout<SceneSpan> { static constexpr size_t kBytes = 16; };
template <> struct RecordLayout<SceneRecord> { static constexpr size_t kBytes = 312; };
template <> struct RecordLayout<TextOp> { static constexpr size_t kBytes = 1120; };
template <> struct RecordLayout<StickerOp> { static constexpr size_t kBytes = 600; };
template <> struct RecordLayout<ScreenOp> { static constexpr size_t kBytes = 56; };
template <> struct RecordLayout<tagOPR_EFFECT> { static constexpr size_t kBytes = 104; };
template <> struct RecordLayout<AudioOp> { static constexpr size_t kBytes = 552; };

// Writes the record into RecordLayout<Record>::kBytes bytes at out.
ZVF_API void WriteRecordBytes(const SceneSpan& r, unsigned char* out);
ZVF_API void WriteRecordBytes(const SceneRecord& r, unsigned char* out);
ZVF_API void WriteRecordBytes(const TextOp& r, unsigned char* out);
ZVF_API void WriteRecordBytes(const StickerOp& r, unsigned char* out);
ZVF_API void WriteRecordBytes(const ScreenOp& r, unsigned char* out);
ZVF_API void WriteRecordBytes(const tagOPR_EFFECT& r, unsigned char* out);
ZVF_API void WriteRecordBytes(const AudioOp& r, unsigned char* out);

// Fills the record from RecordLayout<Record>::kBytes bytes at in. Text fields are
// always NUL-terminated afterwards, whatever the bytes held.
ZVF_API void ReadRecordBytes(const unsigned char* in, SceneSpan& r);
ZVF_API void ReadRecordBytes(const unsigned char* in, SceneRecord& r);
ZVF_API void ReadRecordBytes(const unsigned char* in, TextOp& r);
ZVF_API void ReadRecordBytes(const unsigned char* in, StickerOp& r);
ZVF_API void ReadRecordBytes(const unsigned char* in, ScreenOp& r);
ZVF_API void ReadRecordBytes(const unsigned char* in, tagOPR_EFFECT& r);
ZVF_API void ReadRecordBytes(const unsigned char* in, AudioOp& r);

}  // namespace zolvex
