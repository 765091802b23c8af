// mhkbmp.cpp - command-line companion of the viewer: lists, exports, packs
// and puts back the bitmap resources of Mohawk archives.
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

// ASCII decimal digits only (leading zeros allowed), at most max.
bool ParseNumber(const char* text, unsigned long max, unsigned long* value)
{
    if (*text == '\0')
        return false;
    *value = 0;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9')
            return false;
        *value = *value * 10 + static_cast<unsigned long>(*c - '0');
        if (*value > max)
            return false;
    }
    return true;
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

bool ParseIndex(const char* text, uint16_t* index)
{
    unsigned long value;
    if (!ParseNumber(text, 65535, &value))
        return false;
    *index = static_cast<uint16_t>(value);
    return true;
}

bool TakeOptions(int* argc, char*** argv, bool* png, CompressOptions* options)
{
    static const char kPrice[] = "--price=";
    while (*argc > 1 && strncmp((*argv)[1], "--", 2) == 0) {
        const char* option = (*argv)[1];
        if (png != nullptr && strcmp(option, "--png") == 0) {
            *png = true;
        } else if (options != nullptr && strncmp(option, kPrice, sizeof kPrice - 1) == 0) {
            unsigned long price;
            if (!ParseNumber(option + sizeof kPrice - 1, kMaxPrice, &price))
                return false;
            options->codePenalty = unsigned(price);
        } else {
            return false;
        }
        --*argc;
        ++*argv;
    }
    return true;
}

const char* g_command = "";

int Fail(ExitCode code)
{
    fprintf(stderr, "%s\n", ExitMessage(code));
    return code;
}

void Report(const std::string& what, const std::string& reason)
{
    fprintf(stderr, "mhkbmp %s: %s: %s\n", g_command, what.c_str(), reason.c_str());
}

int Report(const std::string& what, const std::string& reason, int code)
{
    Report(what, reason);
    return code;
}

ExitCode FlushStandardOutput(const char* done)
{
    if (fflush(stdout) == 0 && !ferror(stdout))
        return kExitOk;
    Report("standard output", done != nullptr ? std::string("cannot be written; ") + done : "cannot be written");
    return ExitCode(Fail(kExitCannotWrite));
}

bool EndsWithNoCase(const std::string& name, const char* suffix)
{
    const std::string tail(suffix);
    if (name.size() < tail.size())
        return false;
    for (size_t i = 0; i < tail.size(); ++i) {
        char c = name[name.size() - tail.size() + i];
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        if (c != tail[i])
            return false;
    }
    return true;
}

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
