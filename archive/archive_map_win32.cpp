// archive_map_win32.cpp - maps an archive with the Windows file-mapping calls.
//
// Both handles are closed as soon as the view exists: the view keeps the
// file's bytes alive by itself, so releasing it is the only clean-up.
#include "archive/archive.h"

#include <windows.h>

bool MapArchive(ArchiveView* view, const char* path)
{
    view->base = nullptr;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const bool mapped = MapArchiveFile(view, reinterpret_cast<intptr_t>(file));
    CloseHandle(file);
    return mapped;
}

bool MapArchiveFile(ArchiveView* view, intptr_t file)
{
    view->base = nullptr;
    view->size = GetFileSize(reinterpret_cast<HANDLE>(file), nullptr);
    // A zero-byte file has no mapping: the platform refuses it.
    HANDLE mapping = CreateFileMappingA(reinterpret_cast<HANDLE>(file), nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping == nullptr)
        return false;
    view->base = static_cast<const uint8_t*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
    CloseHandle(mapping);
    return view->base != nullptr;
}

void ReleaseArchive(ArchiveView* view)
{
    UnmapViewOfFile(view->base);
    view->base = nullptr;
}
