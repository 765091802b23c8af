// archive_file.cpp - an archive as mhkbmp's commands read it: opened
// without waiting on anything that is not a regular file, locked by the
// commands that write it back, mapped, checked and listed.
#include "tools/archive_file.h"

#include <stdio.h>
#include <string.h>

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
        Say(path, "waiting for another run of mhkbmp to finish with it");
}

// Why headers that IsValidArchive refused do not pass.
std::string HeaderProblem(const uint8_t* base, uint32_t size)
{
    if (size < kArchiveFileSize + 4)
        return std::to_string(size) + " bytes, too short for an archive's headers";
    if (ReadBE32(base + kArchiveMagic) != kMagicMohawk)
        return "no MHWK header";
    if (ReadBE32(base + kArchiveResourceMagic) != kMagicResources)
        return "no RSRC header";
    if (ReadBE32(base + kArchiveVersion) != kVersionWord)
        return "an unknown archive version";
    return "its headers give another size than the file's " + std::to_string(size) + " bytes";
}

}  // namespace

std::string ArchiveFile::name() const
{
    return strcmp(path_, kStandardStream) == 0 ? "standard input" : path_;
}

ExitCode ArchiveFile::ReadStandardInput()
{
    // A pipe cannot be mapped: it is read whole, as far as an archive can go.
    if (!OpenStandardInput(&file_))
        return Fail(kExitCannotOpen, name(), ErrorText(LastError()));
    uint8_t chunk[65536];
    size_t got;
    bool ok;
    while ((ok = ReadInput(&file_, chunk, sizeof chunk, &got)) && got > 0 && read_.size() <= kMaxArchiveSize)
        read_.insert(read_.end(), chunk, chunk + got);
    if (!ok)
        return Fail(kExitCannotOpen, name(), ErrorText(LastError()));
    if (read_.size() > kMaxArchiveSize)
        return Fail(kExitNotArchive, name(), "more than " + std::to_string(kMaxArchiveSize) +
                                                 " bytes; an archive's size must fit its 32-bit header");
    if (read_.empty())
        return Fail(kExitCannotOpen, name(), "empty");
    view_.base = read_.data();
    view_.size = uint32_t(read_.size());
    return kExitOk;
}

ExitCode ArchiveFile::Open(const char* path, bool lock)
{
    Close();
    path_ = path;
    if (strcmp(path, kStandardStream) == 0) {
        const ExitCode read = ReadStandardInput();
        if (read != kExitOk)
            return read;
        if (!IsValidArchive(view_.base, view_.size))
            return Fail(kExitNotArchive, name(), HeaderProblem(view_.base, view_.size));
        return kExitOk;
    }
    const InputResult opened = lock ? OpenLockedInput(path, &file_, SayWaiting) : OpenInput(path, &file_);
    if (opened == kInputNotRegular)
        return Fail(kExitCannotOpen, path, "not a regular file");
    if (opened == kInputCannotLock)
        return Fail(kExitCannotOpen, path, "cannot be locked against other runs");
    if (opened != kInputOpen)
        return Fail(kExitCannotOpen, path, ErrorText(file_.error));
    // Its header could not tell its size: the reader would see the low 32
    // bits of it, and a rewrite would cut the file there.
    if (file_.size > kMaxArchiveSize) {
        Close();
        return Fail(kExitNotArchive, path, std::to_string(file_.size) + " bytes; an archive's size must fit its 32-bit header");
    }
    if (!MapArchiveFile(&view_, file_.handle)) {
        const int error = LastError();
        Close();
        return Fail(kExitCannotOpen, path, file_.size == 0 ? "an empty file" : ErrorText(error));
    }
    if (!IsValidArchive(view_.base, view_.size)) {
        const std::string problem = HeaderProblem(view_.base, view_.size);
        Close();
        return Fail(kExitNotArchive, path, problem);
    }
    return kExitOk;
}

void ArchiveFile::Unmap()
{
    if (view_.base != nullptr && read_.empty())
        ReleaseArchive(&view_);
    view_.base = nullptr;
    CloseInputForRename(&file_);
}

void ArchiveFile::Close()
{
    Unmap();
    read_.clear();
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
        return Fail(kExitNoImages, archive->name(), "no tBMP resources in its directory");
    }
    return kExitOk;
}
