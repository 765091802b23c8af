// cli.cpp - see cli.h.
#include "tools/cli.h"

#include <stdio.h>
#include <string.h>

#include "archive/layout.h"
#include "common/texts.h"
#include "packer/compress.h"

namespace {

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

const char* g_command = "";

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

bool ParseIndex(const char* text, uint16_t* index)
{
    unsigned long value;
    if (!ParseNumber(text, kMaxFileIndex, &value))
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
