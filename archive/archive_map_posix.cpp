// archive_map_posix.cpp - maps an archive with open, fstat and mmap.
//
// Only the first size bytes (the low 32 bits of the file's length) are
// mapped: every reader is bounded by that size, and munmap needs the length
// the view was made with, which is then size itself.
#include "archive/archive.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

bool MapArchive(ArchiveView* view, const char* path)
{
    view->base = nullptr;
    // Without O_NONBLOCK a FIFO would wait for a writer; it is refused below.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool mapped = MapArchiveFile(view, fd);
    close(fd);
    return mapped;
}

bool MapArchiveFile(ArchiveView* view, intptr_t file)
{
    view->base = nullptr;
    const int fd = static_cast<int>(file);
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    view->size = static_cast<uint32_t>(static_cast<uint64_t>(info.st_size));
    // Like the Windows mapping, an empty view is refused.
    if (view->size == 0)
        return false;
    void* mapped = mmap(nullptr, view->size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (mapped == MAP_FAILED)
        return false;
    view->base = static_cast<const uint8_t*>(mapped);
    return true;
}

void ReleaseArchive(ArchiveView* view)
{
    munmap(const_cast<uint8_t*>(view->base), view->size);
    view->base = nullptr;
}
