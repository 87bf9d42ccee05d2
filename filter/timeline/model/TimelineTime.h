// The time model: scenes laid end to end, project times in double seconds, stream
// times in 100-nanosecond units.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "filter/timeline/model/TimelineRecords.h"

namespace zolvex {

constexpr int64_t kUnitsPerSecond = 10000000;

// Length of a scene on the timeline; a span that runs backwards (or is not a number)
// takes no time.
inline double SceneLength(const SceneSpan& s)
{
    const double d = s.dOut - s.dIn;
    return d > 0 ? d : 0.0;
}

// The project length: the scene lengths summed. Only scenes that have a span count.
inline double ProjectLength(SceneList* scenes, SpanList* spans)
{
    if (!scenes || !spans)
        return 0.0;
    CTavmArrayReader<SceneRecord*> sceneReader(scenes);
    CTavmArrayReader<SceneSpan> spanReader(spans);
    SceneRecord* scene = nullptr;
    SceneSpan span{};
    double total = 0.0;
    while (sceneReader.Next(scene) && spanReader.Next(span))
        total += SceneLength(span);
    return total;
}

// The stream length handed to both streams: whole seconds of the project only.
inline int64_t StreamLength(double projectSeconds)
{
    // About 29,000 years of stream time still fits the 64-bit count.
    const double whole = std::trunc(std::min(std::max(projectSeconds, 0.0), 9.0e11));
    return static_cast<int64_t>(whole) * kUnitsPerSecond;
}

}  // namespace zolvex
