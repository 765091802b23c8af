// mhkbmp.cpp - command-line companion of the viewer: lists, exports and
// packs the bitmap resources of Mohawk archives.
#include "tools/mhkbmp.h"

#include <stdio.h>
#include <string.h>

#include "common/texts.h"

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
    {"export", "export ARCHIVE INDEX OUT.bmp|OUT.png", RunExport},
    {"export-all", "export-all [--png] ARCHIVE DIR", RunExportAll},
    {"pack", "pack OUT.mhk IMAGE.bmp|IMAGE.png...", RunPack},
};

int Usage()
{
    fputs("usage:\n", stderr);
    for (const Command& command : kCommands)
        fprintf(stderr, "  mhkbmp %s\n", command.synopsis);
    return kExitUsage;
}

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

}  // namespace

const char* ExitMessage(ExitCode code)
{
    switch (code) {
    case kExitCannotOpen: return MESSAGE_CANNOT_OPEN;
    case kExitNotArchive: return MESSAGE_NOT_ARCHIVE;
    case kExitNoImages: return MESSAGE_NO_IMAGES;
    case kExitCannotRead: return MESSAGE_CANNOT_READ;
    case kExitCannotWrite: return MESSAGE_CANNOT_WRITE;
    default: return "";
    }
}

int Fail(ExitCode code)
{
    fprintf(stderr, "%s\n", ExitMessage(code));
    return code;
}

std::string ListText(uint16_t id, const char* name)
{
    if (name != nullptr)
        return name;
    char text[16];
    snprintf(text, sizeof text, "[%u]", static_cast<unsigned>(id));
    return text;
}

ExitCode OpenAndList(const char* archivePath, ArchiveView* view, std::vector<ListedImage>* images)
{
    if (!MapArchive(view, archivePath))
        return kExitCannotOpen;
    if (!IsValidArchive(view->base, view->size)) {
        ReleaseArchive(view);
        return kExitNotArchive;
    }
    images->clear();
    s_listing = images;
    EnumerateResources(view->base, kTypeBitmap, OnCount, OnItem);
    s_listing = nullptr;
    if (images->empty()) {
        ReleaseArchive(view);
        return kExitNoImages;
    }
    return kExitOk;
}

int main(int argc, char** argv)
{
#ifdef _WIN32
    // Lines end in \n on every platform, and names are written byte for byte.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    if (argc < 2)
        return Usage();
    for (const Command& command : kCommands) {
        if (strcmp(argv[1], command.name) == 0) {
            int result = command.run(argc - 1, argv + 1);
            return result == kExitUsage ? Usage() : result;
        }
    }
    return Usage();
}
