// archive_file.cpp - an archive as mhkbmp's commands read it: opened
// without waiting on anything that is not a regular file, locked by the
// commands that write it back, mapped, checked and listed.
#include "tools/archive_file.h"

#include <stdio.h>
#include <string.h>

#include "common/texts.h"

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
    if (IsTerminal(stderr))
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

// Its header could not tell its size: the reader would see the low 32 bits
// of it, and a rewrite would cut the file there.
std::string TooLarge(const std::string& size)
{
    return size + " bytes; an archive's size must fit its 32-bit header";
}

}  // namespace

std::string ArchiveFile::name() const
{
    return strcmp(path_, kStandardStream) == 0 ? "standard input" : path_;
}

ExitCode ArchiveFile::ReadStandardInput()
{
    // A pipe cannot be mapped: it is read whole, as far as an archive can go.
    if (!OpenStandardInput(&file_) || !ReadWhole(&file_, kMaxArchiveSize, &read_))
        return Fail(kExitCannotOpen, name(), ErrorText(LastError()));
    if (read_.size() > kMaxArchiveSize)
        return Fail(kExitNotArchive, name(), TooLarge("more than " + std::to_string(kMaxArchiveSize)));
    if (read_.empty())
        return Fail(kExitCannotOpen, name(), "empty");
    view_.base = read_.data();
    view_.size = uint32_t(read_.size());
    return kExitOk;
}

ExitCode ArchiveFile::MapFile(bool lock)
{
    const InputResult opened = lock ? OpenLockedInput(path_, &file_, SayWaiting) : OpenInput(path_, &file_);
    if (opened == kInputNotRegular)
        return Fail(kExitCannotOpen, path_, "not a regular file");
    if (opened == kInputCannotLock)
        return Fail(kExitCannotOpen, path_, "cannot be locked against other runs");
    if (opened != kInputOpen)
        return Fail(kExitCannotOpen, path_, ErrorText(file_.error));
    if (file_.size > kMaxArchiveSize)
        return Fail(kExitNotArchive, path_, TooLarge(std::to_string(file_.size)));
    if (!MapArchiveFile(&view_, file_.handle))
        return Fail(kExitCannotOpen, path_, file_.size == 0 ? "an empty file" : ErrorText(LastError()));
    return kExitOk;
}

ExitCode ArchiveFile::Open(const char* path, bool lock)
{
    Close();
    path_ = path;
    ExitCode result = strcmp(path, kStandardStream) == 0 ? ReadStandardInput() : MapFile(lock);
    if (result == kExitOk && !IsValidArchive(view_.base, view_.size))
        result = Fail(kExitNotArchive, name(), HeaderProblem(view_.base, view_.size));
    if (result != kExitOk)
        Close();
    return result;
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
