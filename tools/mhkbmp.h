// mhkbmp.h - shared pieces of the mhkbmp command-line companion.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "archive/archive.h"
#include "tools/files.h"
#include "writer/bmp_reader.h"
#include "writer/compress.h"

// Exit codes, one per failure the viewer itself can report.
enum ExitCode {
    kExitOk = 0,
    kExitUsage = 1,
    kExitCannotOpen = 2,   // MESSAGE_CANNOT_OPEN
    kExitNotArchive = 3,   // MESSAGE_NOT_ARCHIVE
    kExitNoImages = 4,     // MESSAGE_NO_IMAGES
    kExitCannotRead = 5,   // MESSAGE_CANNOT_READ
    kExitCannotWrite = 6,  // MESSAGE_CANNOT_WRITE
    kExitRefused = 7,      // pack: an input is not a bitmap that pack accepts
    kExitTooLarge = 8,     // pack: the inputs do not fit in one archive
};

// The viewer's text for an exit code ("" for kExitOk and kExitUsage).
const char* ExitMessage(ExitCode code);

// A file-table index as the commands take it: ASCII decimal digits only
// (leading zeros allowed), 0 to 65535.
bool ParseIndex(const char* text, uint16_t* index);

// Takes the options in front of a sub-command's operands (argv[0] is the
// sub-command): --png when png is given, --price=N (0 to kMaxPrice, the
// decoding-time price of CompressOptions::codePenalty) when options is
// given. False on any other argument starting with "--" there.
const unsigned kMaxPrice = 65536;
bool TakeOptions(int* argc, char*** argv, bool* png, CompressOptions* options);

// The sub-command being run ("list", "export", ...), for messages.
extern const char* g_command;

// Prints ExitMessage(code) as one line on stderr and returns code.
int Fail(ExitCode code);

// Prints "mhkbmp COMMAND: what: reason" as one line on stderr.
void Report(const std::string& what, const std::string& reason);

// Report, then returns code.
int Report(const std::string& what, const std::string& reason, int code);

// Flushes standard output: kExitOk, or kExitCannotWrite with the failure
// reported, saying that what is done (when given) stays done.
ExitCode FlushStandardOutput(const char* done = nullptr);

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
    // its headers. kExitCannotOpen for a file that cannot be opened or is
    // not a regular file, kExitNotArchive for one of 4 GiB or more or with
    // headers that do not pass; a line naming the file says why, where
    // the message does not.
    ExitCode Open(const char* path, bool lock);

    const ArchiveView& view() const { return view_; }
    const char* path() const { return path_; }

    // Unmaps the view (and, where the system needs it, closes the file) so
    // that a new file can be renamed over it. The lock stays.
    void Unmap();

    // True when the path still names the file as it was read; otherwise
    // *change says what happened to it.
    bool StillSame(std::string* change) const { return StillSameFile(path_, file_, change); }

    void Close();

private:
    const char* path_ = nullptr;
    InputFile file_;
    ArchiveView view_ = {nullptr, 0};
};

// One line of the viewer's image list.
struct ListedImage {
    uint16_t id;
    uint16_t index;     // 1-based file-table index
    std::string text;   // the list-box text: the name's bytes, or "[ID]"
};

// The list-box text of a resource: its name, or "[%d]" of the unsigned ID.
std::string ListText(uint16_t id, const char* name);

// Opens archivePath (ArchiveFile::Open) and lists its tBMP resources in
// table order, as the viewer's Open does; kExitNoImages when there are none.
ExitCode OpenAndList(const char* archivePath, ArchiveFile* archive, std::vector<ListedImage>* images,
                     bool lock = false);

// The names export-all gives the listed images, in list order:
// NNNN_TEXT.EXT, with NNNN the 1-based position (four digits at least, as
// many as the largest position needs) and TEXT the list text cut to 64
// bytes, each byte outside A-Za-z0-9._- replaced by '_'.
std::vector<std::string> ExportNames(const std::vector<ListedImage>& images, const char* extension);

// DIR as the prefix of the names in it ("DIR/"; on Windows a bare drive
// "X:" stays as it is, that drive's current folder).
std::string FolderPrefix(const std::string& folder);

// The resource name pack gives an input: its file name without folder and
// without a final ".bmp" or ".png" in any case; empty when nothing is left.
std::string PackName(const std::string& path);

// Reads a file that pack accepts (an 8-bit or 608 x 392 24-bit bitmap, an
// indexed or 608 x 392 RGB PNG). kExitCannotOpen when it cannot be read or
// is not a regular file, kExitRefused when it is not such a file or is
// larger than any of them can be (told by its size, before reading); the
// reason goes to *reason.
ExitCode ReadImageFile(const char* path, BmpImage* image, std::string* reason);

// The tBMP resource that pack makes of an image.
std::vector<uint8_t> EncodeImage(const BmpImage& image, const CompressOptions& options);

// True when name ends in suffix (lower-case ASCII), compared in any case.
bool EndsWithNoCase(const std::string& name, const char* suffix);

// The output name that means standard output.
const char kStandardOutput[] = "-";

// Every file a command writes goes through these. The files a command
// reads are registered first; an output is then checked against them
// before anything is created, and written to a new temporary file in its
// own folder that is renamed over it only when every byte is out.
struct ProtectedFile {
    FileIdentity identity;
    std::string path;
};
typedef std::vector<ProtectedFile> ProtectedFiles;

// Adds path, which the command reads, to files (nothing when it cannot be
// looked at: then it cannot be written over either).
void ProtectFile(ProtectedFiles* files, const char* path);

// kExitOk when path may be written: it is not the same file as any of
// files, and whatever has that name is a writable regular file or a link
// to one or to nothing (which is replaced, never followed); "-", standard
// output, must not be one of files either. Otherwise prints "PATH is why;
// nothing written" on stderr and returns kExitCannotOpen.
ExitCode CheckOutput(const std::string& path, const ProtectedFiles& files);

// An output being written: the temporary file beside it, or standard
// output itself for "-".
struct OutputFile {
    std::string path;
    std::string temporary;
    FILE* file;
    bool replacing;  // a regular file had the name: keep its owner and mode, sync before the rename
    bool failed;     // a write failed: the output is never committed
    // When set, the archive must still be as it was read for the rename.
    const ArchiveFile* unchanged;
};

// Creates the temporary file for path; kExitCannotOpen when it cannot be.
ExitCode OpenOutput(const std::string& path, OutputFile* output);

// Appends bytes; a failure is remembered for CloseOutput.
bool WriteOutput(OutputFile* output, const void* bytes, size_t count);

// With commit, flushes, closes and renames the temporary file over the
// output: kExitOk, or kExitCannotWrite when any step or earlier write
// failed (or commit is false). Then the temporary file is removed and
// whatever had the output's name stays as it was.
ExitCode CloseOutput(OutputFile* output, bool commit);

// OpenOutput, one WriteOutput and CloseOutput.
ExitCode WriteOutputFile(const std::string& path, const void* bytes, size_t count);

// One run of export-all, as the pages written beside its files see it: the
// archive (still mapped), its list, the file name of each listed picture
// in the folder, whether it could be read, and the pages' file names.
struct ExportRun {
    const char* archivePath;
    ArchiveView view;
    std::vector<ListedImage> images;
    std::vector<std::string> names;
    std::vector<bool> readable;
    std::vector<std::string> pages;
};
// The file names of the pages for a list of count pictures.
typedef std::vector<std::string> (*PageNamer)(size_t count);
// Writes page number page (from 0) of run.pages to path.
typedef ExitCode (*PageWriter)(const ExportRun& run, size_t page, const std::string& path);

// export-all ARCHIVE DIR from start to end: lists the archive, checks every
// output name (the pages' too, when namePages is given) before anything is
// written, writes each picture with its progress line, then the pages
// through writePage, the first page last, then the summary. Returns the
// exit code.
int ExportAll(const char* archivePath, const char* dir, bool png, PageNamer namePages, PageWriter writePage);

// Sub-commands. argv[0] is the sub-command's name.
int RunList(int argc, char** argv);
int RunExport(int argc, char** argv);
int RunExportAll(int argc, char** argv);
int RunGallery(int argc, char** argv);
int RunPack(int argc, char** argv);
int RunReplace(int argc, char** argv);
int RunImportAll(int argc, char** argv);
int RunInfo(int argc, char** argv);
