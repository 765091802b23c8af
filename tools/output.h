// output.h - the one way mhkbmp writes a file. Nothing a command reads is
// ever written over, nothing but a regular file or a link is ever replaced,
// a link is replaced rather than followed, and a failed or interrupted
// write leaves the old file as it was.
#pragma once

#include <stddef.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "tools/archive_file.h"
#include "tools/cli.h"
#include "tools/files.h"

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

// Adds the archive as it was opened (standard input too, when it is a file).
void ProtectArchive(ProtectedFiles* files, const ArchiveFile& archive);

// kExitOk when path may be written: it is not the same file as any of
// files, and whatever has that name is a writable regular file or a link
// to one or to nothing (which is replaced, never followed); "-", standard
// output, must not be one of files either. Otherwise notes why ("...;
// nothing written") and returns kExitCannotOpen.
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

// Creates the temporary file for path ("-": standard output, written as it
// goes); kExitCannotOpen, noted, when it cannot be. Every later failure is
// noted too, with the system's words.
ExitCode OpenOutput(const std::string& path, OutputFile* output);

// Appends bytes, or count zeros when bytes is null; a failure is
// remembered for CloseOutput.
bool WriteOutput(OutputFile* output, const void* bytes, size_t count);

// WriteOutput as a ByteWriter, whose context is the OutputFile.
bool WriteToOutput(void* context, const void* bytes, size_t count);

// With commit, flushes, closes and renames the temporary file over the
// output: kExitOk, or kExitCannotWrite when any step or earlier write
// failed (or commit is false). Then the temporary file is removed and
// whatever had the output's name stays as it was.
ExitCode CloseOutput(OutputFile* output, bool commit);

// OpenOutput, one WriteOutput and CloseOutput.
ExitCode WriteOutputFile(const std::string& path, const void* bytes, size_t count);
