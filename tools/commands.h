// commands.h - the sub-commands, and the run of export-all that gallery
// shares.
#pragma once

#include <stddef.h>

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
