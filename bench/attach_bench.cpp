// What attaching the library costs a host: LoadLibrary + FreeLibrary of it in
// a process that already holds every system DLL the library and its modules
// import (as any windowed host does), against an empty DLL built with the same
// flags. Then where the time goes: each of the library's own modules loaded
// alone, and the library once its modules are held by the host, which leaves
// its own image and its attach.
//
// The program does not link the library: it finds the modules by reading
// the import tables of the files beside it.
#include "BenchFigures.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr int kWarmUp = 10;
int g_runs = 60;

std::wstring g_bin;

// The names of the DLLs a PE file imports, read from the file itself.
std::vector<std::wstring> ImportsOf(const std::wstring& path)
{
    std::vector<char> image;
    if (FILE* file = _wfopen(path.c_str(), L"rb")) {
        char chunk[65536];
        for (size_t read; (read = fread(chunk, 1, sizeof(chunk), file)) > 0;)
            image.insert(image.end(), chunk, chunk + read);
        fclose(file);
    }
    std::vector<std::wstring> names;
    if (image.size() < sizeof(IMAGE_DOS_HEADER))
        return names;
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data());
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image.data() + dos->e_lfanew);
    const auto* sections = IMAGE_FIRST_SECTION(nt);
    auto offsetOf = [&](DWORD rva) -> size_t {
        for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i) {
            const auto& s = sections[i];
            if (rva >= s.VirtualAddress && rva < s.VirtualAddress + s.SizeOfRawData)
                return rva - s.VirtualAddress + s.PointerToRawData;
        }
        return 0;
    };
    const DWORD importRva = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    if (!importRva)
        return names;
    for (auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(image.data() + offsetOf(importRva));
         entry->Name; ++entry) {
        const std::string name(image.data() + offsetOf(entry->Name));
        names.emplace_back(name.begin(), name.end());
    }
    return names;
}

bool IsOurs(const std::wstring& name)
{
    return GetFileAttributesW((g_bin + name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Loads, and keeps loaded, every system DLL that `name` and the modules of
// ours it imports import; collects those modules of ours.
void HoldSystemImports(const std::wstring& name, std::set<std::wstring>& ours)
{
    for (const std::wstring& import : ImportsOf(g_bin + name)) {
        if (!IsOurs(import))
            LoadLibraryW(import.c_str());
        else if (ours.insert(import).second)
            HoldSystemImports(import, ours);
    }
}

double TimeAttach(const std::wstring& path)
{
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    FreeLibrary(module);
    const double ms = MsSince(start);
    if (!module) {
        fwprintf(stderr, L"attach_bench: cannot load %ls (error %lu)\n", path.c_str(), GetLastError());
        ExitProcess(1);
    }
    return ms;
}

// Times each path in turn, run after run, so that all see the same machine.
std::vector<std::vector<double>> TimeInterleaved(const std::vector<std::wstring>& paths)
{
    std::vector<std::vector<double>> runs(paths.size());
    for (int i = 0; i < kWarmUp + g_runs; ++i) {
        for (size_t p = 0; p < paths.size(); ++p) {
            const double ms = TimeAttach(paths[p]);
            if (i >= kWarmUp)
                runs[p].push_back(ms);
        }
    }
    return runs;
}

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

} // namespace

// attach_bench [RUNS]: RUNS timed runs of each figure (60 by default).
int main(int argc, char** argv)
{
    if (argc > 1 && atoi(argv[1]) > 0)
        g_runs = atoi(argv[1]);
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    g_bin = self;
    g_bin.erase(g_bin.find_last_of(L'\\') + 1);

    PrintMachineLoad("attach");
    // A windowed host: user32 and gdi32 are in use before the library comes.
    HWND window = CreateWindowExW(0, L"STATIC", L"attach bench", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                                  nullptr);
    std::set<std::wstring> ours;
    HoldSystemImports(L"vk.velkor.gui.dll", ours);
    HoldSystemImports(L"bench_empty.dll", ours);
    const std::wstring library = g_bin + L"vk.velkor.gui.dll";
    const std::vector<std::wstring> resources = {L"Resources\\vk.velkor.gui.pinrc.dll",
                                                 L"resources\\vkCobAPIrc.dll", L"resources\\vkCobAPIlrc.dll"};

    const auto whole = TimeInterleaved({library, g_bin + L"bench_empty.dll"});
    PrintSpread("attach", "library_attach", whole[0]);
    PrintSpread("attach", "empty_dll_attach", whole[1]);
    PrintRatio("attach", "attach_ratio", whole[0], whole[1]);

    std::vector<std::wstring> parts;
    for (const std::wstring& module : ours)
        parts.push_back(g_bin + module);
    for (const std::wstring& module : resources)
        parts.push_back(g_bin + module);
    const auto alone = TimeInterleaved(parts);
    for (size_t i = 0; i < parts.size(); ++i)
        PrintSpread("attach", ("module_attach:" + Narrow(parts[i].substr(parts[i].find_last_of(L'\\') + 1))).c_str(),
                    alone[i]);

    // With every module of ours held, what is left is the library's own image
    // and what its attach does itself.
    std::vector<HMODULE> held;
    for (const std::wstring& path : parts)
        held.push_back(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    PrintSpread("attach", "library_attach_modules_held", TimeInterleaved({library})[0]);
    for (HMODULE module : held)
        FreeLibrary(module);
    DestroyWindow(window);
    return 0;
}
