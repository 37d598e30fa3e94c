// The few Win32 declarations the winmm capture service uses, so that it
// compiles natively against the winmm stand-in: events and waits, with the
// meanings Windows documents for them.
#pragma once

#include <cstdint>

using BOOL = int;
using DWORD = std::uint32_t;
using HANDLE = void*;
constexpr BOOL FALSE = 0;
constexpr BOOL TRUE = 1;
constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;

HANDLE CreateEventW(void* attributes, BOOL manualReset, BOOL initialState, const wchar_t* name);
BOOL SetEvent(HANDLE event);
BOOL CloseHandle(HANDLE handle);
// Auto-reset events are reset by the wait that sees them signalled.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
// With waitAll FALSE: the lowest index signalled, as WAIT_OBJECT_0 + index.
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);
