// archive_file.cpp - an archive as mhkbmp's commands read it: opened
// without waiting on anything that is not a regular file, locked by the
// commands that write it back, mapped, checked and listed.
#include "tools/archive_file.h"

#include <stdio.h>

#include "common/texts.h"

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#else
#include <unistd.h>
#endif

namespace {

// Enumeration callbacks have no context; the list being filled is here.
std::vector<ListedImage>* s_listing;

void OnCount(unsigned count)
{
    s_listing->reserve(count);
}

void OnItem(uint16_t id, uint16_t index, const char* name)
{
    s_listing->push_back(ListedImage{id, index, ListText(id, name)});
}

void SayWaiting(const char* path)
{
    if (isatty(fileno(stderr)))
        Report(path, "waiting for another run of mhkbmp to finish with it");
}

}  // namespace

ExitCode ArchiveFile::Open(const char* path, bool lock)
{
    Close();
    path_ = path;
    const InputResult opened = lock ? OpenLockedInput(path, &file_, SayWaiting) : OpenInput(path, &file_);
    if (opened == kInputNotRegular)
        return ExitCode(Report(path, "not a regular file", kExitCannotOpen));
    if (opened == kInputCannotLock)
        return ExitCode(Report(path, "cannot be locked against other runs", kExitCannotOpen));
    if (opened != kInputOpen)
        return kExitCannotOpen;
    // Its header could not tell its size: the reader would see the low 32
    // bits of it, and a rewrite would cut the file there.
    if (file_.size > kMaxArchiveSize) {
        Close();
        return ExitCode(Report(path, std::to_string(file_.size) +
                                         " bytes; an archive's size must fit its 32-bit header",
                               kExitNotArchive));
    }
    if (!MapArchiveFile(&view_, file_.handle)) {
        Close();
        return kExitCannotOpen;
    }
    if (!IsValidArchive(view_.base, view_.size)) {
        Close();
        return kExitNotArchive;
    }
    return kExitOk;
}

void ArchiveFile::Unmap()
{
    if (view_.base != nullptr)
        ReleaseArchive(&view_);
    CloseInputForRename(&file_);
}

void ArchiveFile::Close()
{
    if (view_.base != nullptr)
        ReleaseArchive(&view_);
    CloseInput(&file_);
}

std::string ListText(uint16_t id, const char* name)
{
    if (name != nullptr)
        return name;
    char text[16];
    snprintf(text, sizeof text, UNNAMED_RESOURCE_TEXT, static_cast<int>(id));
    return text;
}

ExitCode OpenAndList(const char* archivePath, ArchiveFile* archive, std::vector<ListedImage>* images, bool lock)
{
    const ExitCode opened = archive->Open(archivePath, lock);
    if (opened != kExitOk)
        return opened;
    images->clear();
    s_listing = images;
    EnumerateResources(archive->view().base, kTypeBitmap, OnCount, OnItem);
    s_listing = nullptr;
    if (images->empty()) {
        archive->Close();
        return kExitNoImages;
    }
    return kExitOk;
}
