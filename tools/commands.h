// commands.h - the sub-commands, and the run of export-all that gallery
// shares.
#pragma once

#include <stddef.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "tools/archive_file.h"
#include "tools/cli.h"

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
int ExportAll(const char* archivePath, const char* dir, const Options& options, PageNamer namePages,
              PageWriter writePage);

// A command: its name, operands and options, how many operands it takes,
// and its help.
typedef int (*CommandRunner)(const Options& options, int count, char** operands);
struct Command {
    const char* name;
    const char* operands;     // as the synopsis shows them
    unsigned options;         // OptionFlags
    int least, most;          // operands it takes; most -1: any number
    CommandRunner run;
    const char* summary;      // one line, for mhkbmp --help
    const char* description;  // a short paragraph
    bool writes;              // it writes files
    const char* exits;        // its exit codes, as digits
    const char* example;
};

// The command of that name, or null.
const Command* FindCommand(const char* name);

// The usage: every command's synopsis and one-line description.
void PrintUsage(FILE* stream);

// A command's help: synopsis, what it does, options, exit codes, an example.
void PrintHelp(const Command& command, FILE* stream);

// The commands. operands[0 .. count) follow the options.
int RunList(const Options& options, int count, char** operands);
int RunInfo(const Options& options, int count, char** operands);
int RunExport(const Options& options, int count, char** operands);
int RunExportAll(const Options& options, int count, char** operands);
int RunGallery(const Options& options, int count, char** operands);
int RunPack(const Options& options, int count, char** operands);
int RunReplace(const Options& options, int count, char** operands);
int RunImportAll(const Options& options, int count, char** operands);
