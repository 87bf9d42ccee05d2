#include "filter/timeline/model/RecordLayouts.h"

#include <cstring>

#include "filter/common/ByteLayout.h"

namespace zolvex {
namespace {

// `R` is the record, const when writing.

template <class V, class R>
void Layout(V& v, R& r, SceneSpan*)
{
    v.F64(0, r.dIn);
    v.F64(8, r.dOut);
}

template <class V, class R>
void Layout(V& v, R& r, SceneRecord*)
{
    v.Text(0, r.szPath);
    v.I32(260, r.nSourceWidth);
    v.I32(264, r.nSourceHeight);
    v.I32(268, r.bVideoOpen);
    v.I32(272, r.bAudioOpen);
    v.I32(276, r.nTransitionID);
    v.I32(280, r.nMediaType);
    v.I32(284, r.nReserved);
    v.F64(288, r.dDuration);
    v.F64(296, r.dInPoint);
    v.F64(304, r.dOutPoint);
}

template <class V, class F>
void FontLayout(V& v, size_t at, F& f)
{
    v.I32(at + 0, f.lfHeight);
    v.I32(at + 4, f.lfWidth);
    v.I32(at + 8, f.lfEscapement);
    v.I32(at + 12, f.lfOrientation);
    v.I32(at + 16, f.lfWeight);
    v.U8(at + 20, f.lfItalic);
    v.U8(at + 21, f.lfUnderline);
    v.U8(at + 22, f.lfStrikeOut);
    v.U8(at + 23, f.lfCharSet);
    v.U8(at + 24, f.lfOutPrecision);
    v.U8(at + 25, f.lfClipPrecision);
    v.U8(at + 26, f.lfQuality);
    v.U8(at + 27, f.lfPitchAndFamily);
    v.Text(at + 28, f.lfFaceName);
}

template <class V, class R>
void Layout(V& v, R& r, TextOp*)
{
    v.Text(0, r.szText);
    v.I32(1000, r.nStyle);
    v.F64(1008, r.dStartTime);
    v.F64(1016, r.dEndTime);
    FontLayout(v, 1024, r.lfFont);
    v.U32(1084, r.crText);
    v.U32(1088, r.crBackColor);
    v.U32(1092, r.crShadow);
    v.I32(1096, r.nX);
    v.I32(1100, r.nY);
    v.I32(1104, r.nReserved2);
    v.I32(1108, r.nOpacity);
    v.I32(1112, r.nReserved3);
    v.I32(1116, r.nOrder);
}

template <class V, class R>
void Layout(V& v, R& r, StickerOp*)
{
    v.F64(0, r.dStartTime);
    v.F64(8, r.dEndTime);
    v.I32(16, r.nFrameCount);
    v.I32(20, r.nCurFrame);
    v.I32(24, r.nReserved);
    v.I32(28, r.nWidth);
    v.I32(32, r.nHeight);
    for (size_t k = 0; k < 4; ++k)
        v.I32(36 + 4 * k, r.rcDest[k]);
    v.I32(52, r.nFrameDelay);
    v.I32(56, r.nElapsed);
    v.I32(60, r.nAlpha);
    v.Pointer(64, r.pDelays);
    v.Pointer(68, r.hImage);
    v.Text(72, r.szPath);
    v.I32(592, r.nOrder);
}

template <class V, class R>
void Layout(V& v, R& r, ScreenOp*)
{
    v.F64(0, r.dStartTime);
    v.F64(8, r.dEndTime);
    v.I32(16, r.nStyle);
    for (size_t k = 0; k < 3; ++k)
        v.F32(28 + 4 * k, r.afParams[k]);
    v.I32(44, r.nOrder);
    v.Pointer(48, r.pMaskPicture);
    v.Pointer(52, r.pBackground);
}

template <class V, class R>
void Layout(V& v, R& r, tagOPR_EFFECT*)
{
    v.F64(0, r.dStartTime);
    v.F64(8, r.dEndTime);
    v.I32(16, r.nEffectID);
    v.I32(20, r.nLevel);
    v.I32(24, r.nInstanceCount);
    v.Pointer(28, r.aiSymbol);
    v.Pointer(32, r.aiFrame);
    v.Pointer(36, r.afScaleX);
    v.Pointer(40, r.afScaleY);
    v.Pointer(44, r.afAngle);
    v.Pointer(48, r.afPosX);
    v.Pointer(52, r.afPosY);
    v.Pointer(56, r.aiOpacity);
    v.Pointer(60, r.apMotion);
    v.Pointer(64, r.aiTick);
    v.Pointer(68, r.aiGuidePos);
    v.Pointer(72, r.pValidPolygon);
    v.I32(76, r.bSpecialInited);
    v.U32(80, r.guidEffect.Data1);
    v.U16(84, r.guidEffect.Data2);
    v.U16(86, r.guidEffect.Data3);
    for (size_t k = 0; k < 8; ++k)
        v.U8(88 + k, r.guidEffect.Data4[k]);
    v.I32(96, r.nReserved2);
    v.I32(100, r.nOverallOpacity);
}

template <class V, class R>
void Layout(V& v, R& r, AudioOp*)
{
    v.F64(0, r.dStartTime);
    v.F64(8, r.dEndTime);
    v.F64(16, r.dLength);
    v.Text(24, r.szPath);
    v.Text(284, r.szName);
    v.I32(544, r.bOpen);
    v.I32(548, r.nOrder);
}

template <class Record>
void Write(const Record& r, unsigned char* out)
{
    ByteWriter w(out, RecordLayout<Record>::kBytes);
    Layout(w, r, static_cast<Record*>(nullptr));
}

template <class Record>
void Read(const unsigned char* in, Record& r)
{
    ByteReader rd(in);
    Layout(rd, r, static_cast<Record*>(nullptr));
}

}  // namespace

void WriteRecordBytes(const SceneSpan& r, unsigned char* out) { Write(r, out); }
void WriteRecordBytes(const SceneRecord& r, unsigned char* out) { Write(r, out); }
void WriteRecordBytes(const TextOp& r, unsigned char* out) { Write(r, out); }
void WriteRecordBytes(const StickerOp& r, unsigned char* out) { Write(r, out); }
void WriteRecordBytes(const ScreenOp& r, unsigned char* out) { Write(r, out); }
void WriteRecordBytes(const tagOPR_EFFECT& r, unsigned char* out) { Write(r, out); }
void WriteRecordBytes(const AudioOp& r, unsigned char* out) { Write(r, out); }

void ReadRecordBytes(const unsigned char* in, SceneSpan& r) { Read(in, r); }
void ReadRecordBytes(const unsigned char* in, SceneRecord& r) { Read(in, r); }
void ReadRecordBytes(const unsigned char* in, TextOp& r) { Read(in, r); }
void ReadRecordBytes(const unsigned char* in, StickerOp& r) { Read(in, r); }
void ReadRecordBytes(const unsigned char* in, ScreenOp& r) { Read(in, r); }
void ReadRecordBytes(const unsigned char* in, tagOPR_EFFECT& r) { Read(in, r); }
void ReadRecordBytes(const unsigned char* in, AudioOp& r) { Read(in, r); }

}  // namespace zolvex
