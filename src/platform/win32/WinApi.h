#pragma once
// <windows.h> as every win32 service includes it: without the rarely used parts of the API
// (WIN32_LEAN_AND_MEAN) and without the min and max macros (NOMINMAX), which would break std::min and
// std::max in the same file.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
