// ITavmMediaProblems: the media files the filter could not use since the timeline was
// last handed over, each once, with why. The filter renders what it can without them
// (black scenes, silence); the studio and the render tool show this list so that such
// a movie is never taken for the whole project. Asked of the filter by QueryInterface.
#pragma once

#include "platform/Unknown.h"

// {E377AABA-79B1-42E7-B411-5AA698600F8F}
constexpr GUID IID_ITavmMediaProblems = {0xE377AABA, 0x79B1, 0x42E7, {0xB4, 0x11, 0x5A, 0xA6, 0x98, 0x60, 0x0F, 0x8F}};

struct ITavmMediaProblems : IUnknown {
    virtual HRESULT GetProblemCount(int* count) = 0;
    // The file and the reason of problem `index`, each NUL-terminated and cut to its
    // size; E_INVALIDARG for an index outside the list.
    virtual HRESULT GetProblem(int index, char* path, int pathSize, char* why, int whySize) = 0;

protected:
    ~ITavmMediaProblems() = default;
};
