// A Windows host for the module's tests under a Windows loader: it loads
// the DLL at run time the way a host application does and drives one
// scenario per command, reporting what it saw on standard output.
//
//   exports DLL                 exports by name and ordinal agree; null paths refused;
//                               prints the ANSI code page
//   flange DLL IN OUT           prints WAVFlanger's result after the module's own line
//   record DLL OUT MS           records for MS milliseconds; prints the block count,
//                               how long it recorded and how long the stop took
//   typelib DLL                 the type library resource as the system loads it
//   probe DLL                   load order seen by a probe copy of the module
//   probe-refused DLL           a refused framework initialisation fails the load
//
// Exit status 0 when the scenario behaved, 1 when it did not, 2 for usage.
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "ModuleProbe.h"

namespace {

using FlangerFunction = int (*)(const wchar_t*, const wchar_t*);
using StartFunction = int (*)(const wchar_t*);
using StopFunction = int (*)();

int failures = 0;

void Check(bool condition, const char* what) {
    if (!condition) {
        std::printf("FAILED: %s\n", what);
        ++failures;
    }
}

template <typename Function>
Function Export(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

HMODULE Load(const wchar_t* path) {
    HMODULE module = LoadLibraryW(path);
    if (module == nullptr) {
        std::printf("FAILED: LoadLibraryW error %lu\n", GetLastError());
    }
    return module;
}

int Finish(HMODULE module) {
    if (module != nullptr) {
        Check(FreeLibrary(module) != 0, "FreeLibrary");
    }
    std::fflush(stdout);
    return failures == 0 ? 0 : 1;
}

int Exports(const wchar_t* path) {
    HMODULE module = Load(path);
    if (module == nullptr) {
        return 1;
    }
    const char* const names[] = {"WAVFlanger", "SoundRecorderStart", "SoundRecorderStop"};
    for (WORD ordinal = 1; ordinal <= 3; ++ordinal) {
        const FARPROC byName = GetProcAddress(module, names[ordinal - 1]);
        const FARPROC byOrdinal = GetProcAddress(module, MAKEINTRESOURCEA(ordinal));
        Check(byName != nullptr && byName == byOrdinal, names[ordinal - 1]);
    }
    Check(GetProcAddress(module, MAKEINTRESOURCEA(4)) == nullptr, "no fourth ordinal");
    Check(GetProcAddress(module, "DllMain") == nullptr, "DllMain is not exported");
    std::printf("code page %u\n", GetACP());
    // A null path fails to open; a recording cannot start on one.
    const auto flange = Export<FlangerFunction>(module, "WAVFlanger");
    Check(flange != nullptr && flange(nullptr, L"out.wav") == 1, "WAVFlanger(null, ...) is 1");
    const auto stop = Export<StopFunction>(module, "SoundRecorderStop");
    Check(stop != nullptr && stop() == 0, "SoundRecorderStop without a start is 0");
    return Finish(module);
}

int Flange(const wchar_t* path, const wchar_t* input, const wchar_t* output) {
    HMODULE module = Load(path);
    if (module == nullptr) {
        return 1;
    }
    const auto flange = Export<FlangerFunction>(module, "WAVFlanger");
    Check(flange != nullptr, "WAVFlanger");
    if (flange != nullptr) {
        const int result = flange(input, output);
        std::fflush(stdout);
        std::printf("result %d\n", result);
    }
    return Finish(module);
}

// Records for `milliseconds`, then prints the start's result, the block
// count, and how long the recording ran and the stop took.
int Record(const wchar_t* path, const wchar_t* output, int milliseconds) {
    HMODULE module = Load(path);
    if (module == nullptr) {
        return 1;
    }
    const auto start = Export<StartFunction>(module, "SoundRecorderStart");
    const auto stop = Export<StopFunction>(module, "SoundRecorderStop");
    Check(start != nullptr && stop != nullptr, "recorder exports");
    if (start != nullptr && stop != nullptr) {
        LARGE_INTEGER frequency{};
        LARGE_INTEGER begin{};
        LARGE_INTEGER before{};
        LARGE_INTEGER after{};
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&begin);
        const int started = start(output);
        Sleep(static_cast<DWORD>(milliseconds));
        QueryPerformanceCounter(&before);
        const int blocks = stop();
        QueryPerformanceCounter(&after);
        const auto ms = [&](LARGE_INTEGER from, LARGE_INTEGER to) {
            return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
                   static_cast<double>(frequency.QuadPart);
        };
        std::printf("start %d\nblocks %d\nrecorded-ms %.1f\nstop-ms %.2f\n", started, blocks,
                    ms(begin, before), ms(before, after));
        Check(started == 999, "SoundRecorderStart is 999");
    }
    return Finish(module);
}

int TypeLibrary(const wchar_t* path) {
    ITypeLib* library = nullptr;
    const HRESULT loaded = LoadTypeLibEx(path, REGKIND_NONE, &library);
    Check(SUCCEEDED(loaded) && library != nullptr, "LoadTypeLibEx");
    if (library == nullptr) {
        return Finish(nullptr);
    }
    TLIBATTR* attributes = nullptr;
    if (SUCCEEDED(library->GetLibAttr(&attributes))) {
        Check(attributes->lcid == 0x0409, "locale 0x0409");
        Check(attributes->syskind == SYS_WIN32, "for Win32");
        Check(attributes->wMajorVerNum == 1 && attributes->wMinorVerNum == 0, "version 1.0");
        library->ReleaseTLibAttr(attributes);
    } else {
        Check(false, "GetLibAttr");
    }
    Check(library->GetTypeInfoCount() == 0, "no type descriptions");
    BSTR name = nullptr;
    Check(SUCCEEDED(library->GetDocumentation(-1, &name, nullptr, nullptr, nullptr)) &&
              name != nullptr && std::wcscmp(name, L"PendraxWAVFlanger") == 0,
          "named PendraxWAVFlanger");
    SysFreeString(name);
    library->Release();
    return Finish(nullptr);
}

PendraxProbeSnapshot atStaticTermination{};
int staticTerminations = 0;

void OnStaticTermination(const PendraxProbeSnapshot* snapshot) {
    atStaticTermination = *snapshot;
    ++staticTerminations;
}

int Probe(const wchar_t* path) {
    HMODULE module = Load(path);
    if (module == nullptr) {
        return 1;
    }
    using SnapshotFunction = void (*)(PendraxProbeSnapshot*);
    const auto atStaticInit = Export<SnapshotFunction>(module, "PendraxProbeAtStaticInit");
    const auto now = Export<SnapshotFunction>(module, "PendraxProbeNow");
    const auto onTermination =
        Export<void (*)(PendraxProbeSink)>(module, "PendraxProbeOnStaticTermination");
    if (atStaticInit == nullptr || now == nullptr || onTermination == nullptr) {
        Check(false, "probe exports");
        return Finish(module);
    }
    PendraxProbeSnapshot snapshot{};
    atStaticInit(&snapshot);
    Check(snapshot.listsParked != 0, "the hook ran before static initialisation");
    Check(snapshot.chainLength == 0 && snapshot.registered == 0,
          "DllMain ran after static initialisation");
    now(&snapshot);
    Check(snapshot.listsParked != 0, "the lists stay parked");
    Check(snapshot.chainLength == 1 && snapshot.registered != 0, "DllMain registered the module");
    Check(snapshot.instance == module, "registered under the module's own handle");
    onTermination(&OnStaticTermination);
    Check(FreeLibrary(module) != 0, "FreeLibrary");
    Check(staticTerminations == 1, "static termination ran once");
    Check(atStaticTermination.chainLength == 0 && atStaticTermination.registered == 0,
          "DllMain unregistered the module before static termination");
    Check(GetModuleHandleW(path) == nullptr, "unloaded");
    return Finish(nullptr);
}

int ProbeRefused(const wchar_t* path) {
    SetEnvironmentVariableA(PENDRAX_PROBE_REFUSE, "1");
    _putenv(PENDRAX_PROBE_REFUSE "=1");
    HMODULE module = LoadLibraryW(path);
    const DWORD error = GetLastError();
    Check(module == nullptr, "the load fails");
    Check(error == ERROR_DLL_INIT_FAILED, "with ERROR_DLL_INIT_FAILED");
    return Finish(module);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc >= 3 && std::wcscmp(argv[1], L"exports") == 0) {
        return Exports(argv[2]);
    }
    if (argc == 5 && std::wcscmp(argv[1], L"flange") == 0) {
        return Flange(argv[2], argv[3], argv[4]);
    }
    if (argc == 5 && std::wcscmp(argv[1], L"record") == 0) {
        return Record(argv[2], argv[3], static_cast<int>(std::wcstol(argv[4], nullptr, 10)));
    }
    if (argc == 3 && std::wcscmp(argv[1], L"typelib") == 0) {
        return TypeLibrary(argv[2]);
    }
    if (argc == 3 && std::wcscmp(argv[1], L"probe") == 0) {
        return Probe(argv[2]);
    }
    if (argc == 3 && std::wcscmp(argv[1], L"probe-refused") == 0) {
        return ProbeRefused(argv[2]);
    }
    std::fprintf(stderr, "usage: see the comment at the top of WindowsHost.cpp\n");
    return 2;
}
