// mhkbmp.h - shared pieces of the mhkbmp command-line companion.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "archive/archive.h"

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

// Prints ExitMessage(code) as one line on stderr and returns code.
int Fail(ExitCode code);

// One line of the viewer's image list.
struct ListedImage {
    uint16_t id;
    uint16_t index;     // 1-based file-table index
    std::string text;   // the list-box text: the name's bytes, or "[ID]"
};

// The list-box text of a resource: its name, or "[%d]" of the unsigned ID.
std::string ListText(uint16_t id, const char* name);

// Maps and validates archivePath into view and lists its tBMP resources in
// table order, as the viewer's Open does. On anything but kExitOk nothing
// stays mapped.
ExitCode OpenAndList(const char* archivePath, ArchiveView* view, std::vector<ListedImage>* images);

// The resource name pack gives an input: its file name without folder and
// without a final ".bmp" or ".png" in any case; empty when nothing is left.
std::string PackName(const std::string& path);

// True when name ends in suffix (lower-case ASCII), compared in any case.
bool EndsWithNoCase(const std::string& name, const char* suffix);

// What makes a file itself, whatever path reaches it: device and inode, or
// volume serial number and file index on Windows.
struct FileIdentity {
    uint64_t volume;
    uint64_t index;
};

// False when path names nothing that can be opened.
bool GetFileIdentity(const char* path, FileIdentity* identity);

// Creates path for writing only if no file, folder or link has that name;
// otherwise nullptr with errno EEXIST. Never follows a link.
FILE* CreateNewFile(const char* path);

// Sub-commands. argv[0] is the sub-command's name.
int RunList(int argc, char** argv);
int RunExport(int argc, char** argv);
int RunExportAll(int argc, char** argv);
int RunPack(int argc, char** argv);
