// Symbol visibility for the rendering library: the library is built with hidden
// visibility, and only what carries ZVF_API is exported.
#pragma once

#if defined(__GNUC__)
#define ZVF_API __attribute__((visibility("default")))
#else
#define ZVF_API
#endif
