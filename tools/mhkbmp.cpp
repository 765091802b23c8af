// mhkbmp.cpp - command-line companion of the viewer: lists, exports, packs
// and puts back the bitmap resources of Mohawk archives.
#include <stdio.h>
#include <string.h>

#include "common/texts.h"
#include "tools/commands.h"
#include "tools/files.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

struct Command {
    const char* name;
    const char* synopsis;
    int (*run)(int argc, char** argv);
};

const Command kCommands[] = {
    {"list", "list ARCHIVE", RunList},
    {"info", "info ARCHIVE", RunInfo},
    {"export", "export [--png] ARCHIVE INDEX OUT.bmp|OUT.png|-", RunExport},
    {"export-all", "export-all [--png] ARCHIVE DIR", RunExportAll},
    {"gallery", "gallery ARCHIVE DIR", RunGallery},
    {"pack", "pack [--price=N] OUT.mhk IMAGE.bmp|IMAGE.png...", RunPack},
    {"replace", "replace [--price=N] ARCHIVE OUT.mhk INDEX IMAGE [INDEX IMAGE]...", RunReplace},
    {"import-all", "import-all [--png] [--price=N] ARCHIVE DIR OUT.mhk", RunImportAll},
};

void PrintUsage(FILE* stream)
{
    fputs("usage:\n", stream);
    for (const Command& command : kCommands)
        fprintf(stream, "  mhkbmp %s\n", command.synopsis);
    fputs("  mhkbmp --help | --version\n", stream);
}

int Usage()
{
    PrintUsage(stderr);
    return kExitUsage;
}

}  // namespace

int main(int argc, char** argv)
{
#ifdef _WIN32
    // Lines end in \n on every platform, and names are written byte for byte.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    InstallInterruptHandlers();
    if (argc < 2)
        return Usage();
    if (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0) {
        PrintUsage(stdout);
        return FlushStandardOutput();
    }
    if (strcmp(argv[1], "--version") == 0) {
        printf("mhkbmp %s\n", PRODUCT_VERSION);
        return FlushStandardOutput();
    }
    for (const Command& command : kCommands) {
        if (strcmp(argv[1], command.name) == 0) {
            g_command = command.name;
            int result = command.run(argc - 1, argv + 1);
            return result == kExitUsage ? Usage() : result;
        }
    }
    return Usage();
}
