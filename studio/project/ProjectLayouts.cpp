#include "studio/project/ProjectLayouts.h"

#include <cstring>
#include <new>

#include "filter/common/ByteLayout.h"
#include "filter/effects/fTavEffect.h"
#include "filter/media/AnimatedPicture.h"
#include "filter/screen3d/Screen3D.h"
#include "filter/timeline/model/RecordLayouts.h"

namespace zolvex {
namespace studio {

namespace {

const ObjectKindInfo kKinds[] = {
    {OBJ_TEXT, 1120, 1116, 1008},
    {OBJ_PICTURE, 600, 592, 0},
    {OBJ_SCREEN3D, 56, 44, 0},
    {OBJ_EFFECT, 104, 96, 0},
    {OBJ_MUSIC, 552, 548, 0},
    {OBJ_ANIMATION, 568, 560, kNoTimes},
};

template <class V, class R>
void HeaderLayout(V& v, R& h)
{
    v.I32(0, h.nWidth);
    v.I32(4, h.nHeight);
    v.I32(8, h.nAspectNumerator);
    v.I32(12, h.nAspectDenominator);
}

template <class V, class T>
void TimeLayout(V& v, size_t at, T& t)
{
    v.U16(at + 0, t.wYear);
    v.U16(at + 2, t.wMonth);
    v.U16(at + 4, t.wDayOfWeek);
    v.U16(at + 6, t.wDay);
    v.U16(at + 8, t.wHour);
    v.U16(at + 10, t.wMinute);
    v.U16(at + 12, t.wSecond);
    v.U16(at + 14, t.wMilliseconds);
}

template <class V, class R>
void ItemLayout(V& v, R& m)
{
    v.Text(0, m.szPath);
    v.Text(260, m.szDrive);
    v.Text(263, m.szDir);
    v.Text(519, m.szName);
    v.Text(775, m.szExt);
    v.I32(1032, m.nLibraryIndex);
    v.I32(1036, m.nKind);
    v.I32(1040, m.nWidth);
    v.I32(1044, m.nHeight);
    v.U32(1056, m.nFileSize);
    TimeLayout(v, 1064, m.stCreation);
    TimeLayout(v, 1080, m.stLastAccess);
    TimeLayout(v, 1096, m.stLastWrite);
    v.I32(1112, m.bViewFlag);
    v.F64(1128, m.dDuration);
    v.I32(1400, m.bRemoved);
}

template <class Record>
Record* ReadNew(const unsigned char* in)
{
    Record* r = new (std::nothrow) Record();
    if (r)
        ReadRecordBytes(in, *r);
    return r;
}

}  // namespace

const ObjectKindInfo* FindObjectKind(int32_t kind)
{
    for (const ObjectKindInfo& k : kKinds)
        if (k.kind == kind)
            return &k;
    return nullptr;
}

void WriteProjectHeader(const ProjectHeader& h, unsigned char* out)
{
    ByteWriter w(out, kProjectHeaderBytes);
    HeaderLayout(w, h);
}

void ReadProjectHeader(const unsigned char* in, ProjectHeader& h)
{
    ByteReader r(in);
    HeaderLayout(r, h);
}

void WriteMediaItem(const MediaItem& item, unsigned char* out)
{
    ByteWriter w(out, kMediaItemBytes);
    ItemLayout(w, item);
}

void ReadMediaItem(const unsigned char* in, MediaItem& item)
{
    ByteReader r(in);
    ItemLayout(r, item);
}

void WriteObjectRecord(int32_t kind, const void* record, unsigned char* out)
{
    switch (kind) {
    case OBJ_TEXT: WriteRecordBytes(*static_cast<const TextOp*>(record), out); break;
    case OBJ_PICTURE: WriteRecordBytes(*static_cast<const StickerOp*>(record), out); break;
    case OBJ_SCREEN3D: WriteRecordBytes(*static_cast<const ScreenOp*>(record), out); break;
    case OBJ_EFFECT: WriteRecordBytes(*static_cast<const tagOPR_EFFECT*>(record), out); break;
    case OBJ_MUSIC: WriteRecordBytes(*static_cast<const AudioOp*>(record), out); break;
    case OBJ_ANIMATION: std::memcpy(out, static_cast<const AnimationObject*>(record)->bytes, 568); break;
    default: break;
    }
}

void* ReadObjectRecord(int32_t kind, const unsigned char* in)
{
    switch (kind) {
    case OBJ_TEXT: return ReadNew<TextOp>(in);
    case OBJ_PICTURE: return ReadNew<StickerOp>(in);
    case OBJ_SCREEN3D: return ReadNew<ScreenOp>(in);
    case OBJ_EFFECT: return ReadNew<tagOPR_EFFECT>(in);
    case OBJ_MUSIC: return ReadNew<AudioOp>(in);
    case OBJ_ANIMATION: {
        AnimationObject* a = new (std::nothrow) AnimationObject();
        if (a)
            std::memcpy(a->bytes, in, 568);
        return a;
    }
    default: return nullptr;
    }
}

void* CopyObjectRecord(int32_t kind, const void* record)
{
    if (!record)
        return nullptr;
    switch (kind) {
    case OBJ_TEXT: return new (std::nothrow) TextOp(*static_cast<const TextOp*>(record));
    case OBJ_PICTURE: {
        StickerOp* op = new (std::nothrow) StickerOp(*static_cast<const StickerOp*>(record));
        if (op)
            *op = ShareStickerPicture(*static_cast<const StickerOp*>(record));
        return op;
    }
    case OBJ_SCREEN3D: {
        ScreenOp* op = new (std::nothrow) ScreenOp(*static_cast<const ScreenOp*>(record));
        if (op)
            op->pMaskPicture = op->pBackground = nullptr;
        return op;
    }
    case OBJ_EFFECT: {
        const tagOPR_EFFECT* from = static_cast<const tagOPR_EFFECT*>(record);
        tagOPR_EFFECT* op = new (std::nothrow) tagOPR_EFFECT(*from);
        if (!op)
            return nullptr;
        // The run-time arrays stay the original's; the copy is set up anew when drawn.
        op->aiSymbol = nullptr, op->aiFrame = nullptr, op->afScaleX = nullptr, op->afScaleY = nullptr;
        op->afAngle = nullptr, op->afPosX = nullptr, op->afPosY = nullptr, op->aiOpacity = nullptr;
        op->apMotion = nullptr, op->aiTick = nullptr, op->aiGuidePos = nullptr;
        op->bSpecialInited = 0;
        // Each record owns its outline: sharing one would free it twice.
        op->pValidPolygon = nullptr;
        if (from->pValidPolygon) {
            op->pValidPolygon = new (std::nothrow) TrackPoints(5);
            if (!op->pValidPolygon) {
                delete op;
                return nullptr;
            }
            for (int i = 0; i < from->pValidPolygon->GetSize(); ++i)
                op->pValidPolygon->Add(from->pValidPolygon->GetAt(uint32_t(i)));
        }
        return op;
    }
    case OBJ_MUSIC: return new (std::nothrow) AudioOp(*static_cast<const AudioOp*>(record));
    case OBJ_ANIMATION: return new (std::nothrow) AnimationObject(*static_cast<const AnimationObject*>(record));
    default: return nullptr;
    }
}

void FreeObjectRecord(int32_t kind, void* record)
{
    if (!record)
        return;
    switch (kind) {
    case OBJ_TEXT: delete static_cast<TextOp*>(record); break;
    case OBJ_PICTURE: {
        StickerOp* op = static_cast<StickerOp*>(record);
        CloseStickerPicture(*op);
        delete op;
        break;
    }
    case OBJ_SCREEN3D: {
        ScreenOp* op = static_cast<ScreenOp*>(record);
        ReleaseScreenItem(*op);
        delete op;
        break;
    }
    case OBJ_EFFECT: {
        tagOPR_EFFECT* op = static_cast<tagOPR_EFFECT*>(record);
        CfTavEffect::ReleaseOprSpecialData(op);
        delete op->pValidPolygon;
        delete op;
        break;
    }
    case OBJ_MUSIC: delete static_cast<AudioOp*>(record); break;
    case OBJ_ANIMATION: delete static_cast<AnimationObject*>(record); break;
    default: break;
    }
}

}  // namespace studio
}  // namespace zolvex
