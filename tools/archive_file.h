// archive_file.h - an archive as mhkbmp's commands read it, and its list.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "archive/archive.h"
#include "tools/cli.h"
#include "tools/files.h"

// An archive open for reading for the whole of a command's run: the file
// (locked, for the commands that write it back), its identity, size and
// modification time as first read, and its mapped view. Everything is
// released when it goes.
class ArchiveFile {
public:
    ArchiveFile() = default;
    ArchiveFile(const ArchiveFile&) = delete;
    ArchiveFile& operator=(const ArchiveFile&) = delete;
    ~ArchiveFile() { Close(); }

    // Opens, locks when asked (waiting for another run that holds the
    // lock, then taking the file that run left) and maps path, and checks
    // its headers; "-" reads the archive from standard input (never
    // locked). kExitCannotOpen for a file that cannot be opened or is not a
    // regular file, kExitNotArchive for one of 4 GiB or more or with
    // headers that do not pass; the failure is printed.
    ExitCode Open(const char* path, bool lock);

    const ArchiveView& view() const { return view_; }
    const char* path() const { return path_; }
    // The file as it was opened (its identity: none for a pipe).
    const InputFile& file() const { return file_; }
    // How messages name it: its path, or "standard input".
    std::string name() const;

    // Unmaps the view (and, where the system needs it, closes the file) so
    // that a new file can be renamed over it. The lock stays.
    void Unmap();

    // True when the path still names the file as it was read; otherwise
    // *change says what happened to it.
    bool StillSame(std::string* change) const { return StillSameFile(path_, file_, change); }

    void Close();

private:
    ExitCode ReadStandardInput();
    ExitCode MapFile(bool lock);

    const char* path_ = nullptr;
    InputFile file_;
    ArchiveView view_ = {nullptr, 0};
    std::vector<uint8_t> read_;  // standard input's bytes, which view_ shows then
};

// The operand that names standard input or standard output.
const char kStandardStream[] = "-";

// One line of the viewer's image list.
struct ListedImage {
    uint16_t id;
    uint16_t index;     // 1-based file-table index
    std::string text;   // the list-box text: the name's bytes, or "[ID]"
};

// The list-box text of a resource: its name, or UNNAMED_RESOURCE_TEXT of its ID.
std::string ListText(uint16_t id, const char* name);

// Opens archivePath (ArchiveFile::Open) and lists its tBMP resources in
// table order, as the viewer's Open does; kExitNoImages when there are none.
ExitCode OpenAndList(const char* archivePath, ArchiveFile* archive, std::vector<ListedImage>* images,
                     bool lock = false);

