// Timelines made up for the timeline widget's tests and benchmark: scenes with real
// JPEG thumbnails (a coloured picture with its number) and objects of each kind.
#pragma once

#include <QBuffer>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "studio/project/ProjectLayouts.h"
#include "studio/project/ProjectModel.h"
#include "studio/shell/TimelineEditor.h"

namespace zolvex {
namespace testsupport {

// A 100 × 90 JPEG: a vertical gradient in the hue with a sun and the number.
inline studio::MediaThumbnail SampleThumbnail(int n)
{
    QImage image(studio::kThumbnailWidth, studio::kThumbnailHeight, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient sky(0, 0, 0, image.height());
    sky.setColorAt(0, QColor::fromHsv((n * 47) % 360, 120, 240));
    sky.setColorAt(1, QColor::fromHsv((n * 47 + 30) % 360, 200, 110));
    p.fillRect(image.rect(), sky);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 236, 150));
    p.drawEllipse(QPointF(70, 26), 12, 12);
    p.setBrush(QColor(40, 70, 40));
    p.drawRect(0, 66, 100, 24);
    p.setPen(Qt::white);
    QFont font = p.font();
    font.setPixelSize(22);
    font.setBold(true);
    p.setFont(font);
    p.drawText(QRect(6, 4, 50, 30), Qt::AlignLeft | Qt::AlignTop, QString::number(n + 1));
    p.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 85);
    return studio::MediaThumbnail(bytes.begin(), bytes.end());
}

inline bool AddSampleScene(studio::ProjectModel& model, const std::string& name, double length,
                           studio::MediaThumbnail thumbnail, int32_t mark = 0)
{
    studio::MediaItem item;
    std::memset(&item, 0, sizeof item);
    std::snprintf(item.szPath, sizeof item.szPath, "/media/%s.mpg", name.c_str());
    std::snprintf(item.szName, sizeof item.szName, "%s", name.c_str());
    std::snprintf(item.szExt, sizeof item.szExt, ".mpg");
    item.nKind = studio::MEDIA_VIDEO;
    item.dDuration = length;
    SceneRecord record{};
    std::memcpy(record.szPath, item.szPath, sizeof record.szPath);
    record.nMediaType = MEDIA_TYPE_VIDEO;
    record.dDuration = length;
    record.dOutPoint = length;
    const bool added = model.AppendScene(item, std::move(thumbnail), record, SceneSpan{0.0, length}, mark);
    model.RecomputeLength();
    return added;
}

// An object of `kind` from s to e; a title gets `text`, music its name.
inline bool AddSampleObject(studio::ProjectModel& model, int32_t kind, double s, double e,
                            const std::string& text = std::string(), int32_t mark = 0)
{
    const studio::ObjectKindInfo* info = studio::FindObjectKind(kind);
    if (!info)
        return false;
    void* record = studio::ReadObjectRecord(kind, std::vector<unsigned char>(info->bytes).data());
    if (!record)
        return false;
    studio::SetObjectTimes(kind, record, s, e);
    if (kind == OBJ_TEXT)
        std::snprintf(static_cast<TextOp*>(record)->szText, sizeof TextOp::szText, "%s", text.c_str());
    if (kind == OBJ_MUSIC)
        std::snprintf(static_cast<AudioOp*>(record)->szName, sizeof AudioOp::szName, "%s", text.c_str());
    if (kind == OBJ_PICTURE)
        std::snprintf(static_cast<StickerOp*>(record)->szPath, sizeof StickerOp::szPath, "/media/%s", text.c_str());
    return model.AppendObject(kind, record, mark);
}

// Listens to nothing.
struct QuietListener : studio::ITimelineListener {
    void TimelineMessage(int, int64_t, int64_t) override {}
};

// Keeps every message number; 1163 comes from the busy timer's thread.
struct CountingListener : studio::ITimelineListener {
    std::mutex mutex;
    std::vector<int> messages;
    void TimelineMessage(int message, int64_t, int64_t) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        messages.push_back(message);
    }
    int Count(int message)
    {
        std::lock_guard<std::mutex> lock(mutex);
        return int(std::count(messages.begin(), messages.end(), message));
    }
};

}  // namespace testsupport
}  // namespace zolvex
