// Walking the timeline objects: the Objects list and its parallel Kinds list.
#pragma once

#include <algorithm>
#include <type_traits>

#include "filter/timeline/model/TimelineLists.h"

namespace zolvex {

// An object is active strictly inside its interval.
inline bool ObjectActiveAt(double start, double end, double t)
{
    return start < t && t < end;
}

namespace detail {

// Calls visit and tells whether the walk goes on: a visitor that returns nothing never
// stops it.
template <class Visit, class... Args>
bool Visited(Visit& visit, Args&&... args)
{
    if constexpr (std::is_void<decltype(visit(std::forward<Args>(args)...))>::value) {
        visit(std::forward<Args>(args)...);
        return true;
    } else {
        return bool(visit(std::forward<Args>(args)...));
    }
}

}  // namespace detail

// The walks below read the lists along their block chains without moving their
// cursors: the frame producer and the mixer walk the same lists on their own threads.
// A visitor may return false to stop a walk; the walk then returns false.

// Calls visit(kind, record) for every object of a kind that the filter draws or plays
// (OBJ_TEXT … OBJ_MUSIC), in list order. Other kinds, objects without a kind entry and
// empty records are passed over.
template <class Visit>
bool ForEachTimelineObject(const TimelineLists& lists, Visit&& visit)
{
    if (!lists.pObjects || !lists.pKinds)
        return true;
    CTavmArrayReader<void*> objects(lists.pObjects);
    CTavmArrayReader<int32_t> kinds(lists.pKinds);
    void* record = nullptr;
    int32_t kind = 0;
    while (objects.Next(record) && kinds.Next(kind)) {
        if (kind < OBJ_TEXT || kind > OBJ_MUSIC || !record)
            continue;
        if (!detail::Visited(visit, int(kind), record))
            return false;
    }
    return true;
}

// Calls visit(scene, span) for every scene that has a span, in timeline order.
template <class Visit>
bool ForEachScene(const TimelineLists& lists, Visit&& visit)
{
    if (!lists.pScenes || !lists.pSpans)
        return true;
    CTavmArrayReader<SceneRecord*> scenes(lists.pScenes);
    CTavmArrayReader<SceneSpan> spans(lists.pSpans);
    SceneRecord* scene = nullptr;
    SceneSpan span{};
    while (scenes.Next(scene) && spans.Next(span))
        if (!detail::Visited(visit, scene, static_cast<const SceneSpan&>(span)))
            return false;
    return true;
}

}  // namespace zolvex
