// Walking the timeline objects: the Objects list and its parallel Kinds list.
#pragma once

#include <algorithm>

#include "filter/timeline/TimelineSeams.h"

namespace zolvex {

// An object is active strictly inside its interval.
inline bool ObjectActiveAt(double start, double end, double t)
{
    return start < t && t < end;
}

// Calls visit(kind, record) for every object of a kind that the filter draws or plays
// (OBJ_TEXT … OBJ_MUSIC), in list order. Other kinds, objects without a kind entry and
// empty records are passed over.
template <class Visit>
void ForEachTimelineObject(const TimelineLists& lists, Visit&& visit)
{
    if (!lists.pObjects || !lists.pKinds)
        return;
    const int n = std::min(lists.pObjects->GetSize(), lists.pKinds->GetSize());
    for (int k = 0; k < n; ++k) {
        const int32_t kind = lists.pKinds->GetAt(uint32_t(k));
        void* record = lists.pObjects->GetAt(uint32_t(k));
        if (kind < OBJ_TEXT || kind > OBJ_MUSIC || !record)
            continue;
        visit(kind, record);
    }
}

}  // namespace zolvex
