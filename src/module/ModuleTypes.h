// The loader's vocabulary: instance handles, reasons and results of the
// entry notification. Windows has them in its own headers; elsewhere the
// module declares the same names so its load and unload read the same.
#pragma once

#if defined(_WIN32)

#include <windows.h>

#else

#include <cstdint>

using BOOL = int;
using DWORD = std::uint32_t;
using LPVOID = void*;
// The base address at which the loader mapped the module.
using HINSTANCE = void*;

#define WINAPI

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

constexpr DWORD DLL_PROCESS_DETACH = 0;
constexpr DWORD DLL_PROCESS_ATTACH = 1;
constexpr DWORD DLL_THREAD_ATTACH = 2;
constexpr DWORD DLL_THREAD_DETACH = 3;

#endif
