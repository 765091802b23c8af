// archive.h - the archive reader: a read-only view of a Mohawk archive file,
// its header check, and its resource directory.
//
// Everything here works in place on the mapped file; nothing is copied.
// Portable: the only platform code is MapArchive/ReleaseArchive
// (archive_map_win32.cpp or archive_map_posix.cpp).
#pragma once

#include <stdint.h>

#include "archive/layout.h"

// The open archive. base is null when no archive is open; size is only
// meaningful while base is not null.
struct ArchiveView {
    const uint8_t* base;  // first byte of the read-only view of the whole file
    uint32_t size;        // the file's size in bytes (low 32 bits)
};

// Maps the whole file at path (ANSI) read-only into *view. True: view->base
// is the view and view->size the file's size. False: no view is held and
// view->base is null. No file or mapping handle outlives the call.
bool MapArchive(ArchiveView* view, const char* path);

// MapArchive for a file the caller holds open for reading (a POSIX file
// descriptor, or a Windows file HANDLE): the same results, and the file
// stays open and the caller's.
bool MapArchiveFile(ArchiveView* view, intptr_t file);

// Unmaps view->base and sets it to null. view->size is left as it is.
void ReleaseArchive(ArchiveView* view);

// True when the MHWK and RSRC headers of the file at base (size bytes long)
// agree with the file's size. Never reads past base + size.
bool IsValidArchive(const uint8_t* base, uint32_t size);

// Enumeration callbacks: plain functions without context. The count comes
// first (1 to 65535), then one item per resource entry in table order. name
// points into the view (zero-terminated) or is null for an unnamed resource.
typedef void (*ResourceCountCallback)(unsigned count);
typedef void (*ResourceItemCallback)(uint16_t id, uint16_t index, const char* name);

// Reports every resource of the given type. base must have passed
// IsValidArchive. Tables that do not lie inside the file are treated as
// absent (type not found, no resources, no names). Not reentrant: a callback
// must not start another enumeration.
void EnumerateResources(const uint8_t* base, uint32_t type, ResourceCountCallback onCount,
                        ResourceItemCallback onItem);

// Looks up file-table entry index (1-based). True: *data points at the
// resource's first byte inside the view and *size holds its length. False:
// *data is untouched (*size may have been written). base must have passed
// IsValidArchive.
bool GetResourceData(const uint8_t* base, uint16_t index, const uint8_t** data, uint32_t* size);
