// cli.cpp - see cli.h.
#include "tools/cli.h"

#include <stdio.h>
#include <string.h>

#include "archive/layout.h"
#include "common/texts.h"
#include "tools/files.h"

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

namespace {

std::string s_failure;  // the noted line, empty when none

// "mhkbmp COMMAND: what: reason" (no COMMAND before one is chosen).
std::string Line(const std::string& what, const std::string& reason)
{
    return "mhkbmp" + std::string(*g_command != '\0' ? " " : "") + g_command + ": " + what + ": " + reason;
}

}  // namespace

void Say(const std::string& what, const std::string& reason)
{
    fprintf(stderr, "%s\n", Line(what, reason).c_str());
}

void NoteFailure(const std::string& what, const std::string& reason)
{
    if (s_failure.empty())
        s_failure = Line(what, reason);
}

ExitCode Fail(ExitCode code)
{
    if (!s_failure.empty())
        fprintf(stderr, "%s\n", s_failure.c_str());
    s_failure.clear();
    if (*ExitMessage(code) != '\0')
        fprintf(stderr, "%s\n", ExitMessage(code));
    return code;
}

ExitCode Fail(ExitCode code, const std::string& what, const std::string& reason)
{
    NoteFailure(what, reason);
    return Fail(code);
}

ExitCode UsageError(const std::string& what, const std::string& reason)
{
    NoteFailure(what, reason);
    return kExitUsage;
}

ExitCode FlushStandardOutput(const char* done)
{
    if (fflush(stdout) == 0 && !ferror(stdout))
        return kExitOk;
    const std::string words = ErrorText(LastError());
    return Fail(kExitCannotWrite, "standard output", done != nullptr ? words + "; " + done : words);
}

ExitCode ParseIndex(const char* text, uint16_t* index)
{
    unsigned long value;
    if (!ParseNumber(text, kMaxFileIndex, &value))
        return UsageError(text, "not a file-table index (decimal digits, 0 to " + std::to_string(kMaxFileIndex) + ")");
    *index = static_cast<uint16_t>(value);
    return kExitOk;
}

int TakeOptions(int count, char** args, unsigned allowed, Options* options, bool* help)
{
    static const char kPrice[] = "--price=";
    int taken = 0;
    for (; taken < count; ++taken) {
        const char* option = args[taken];
        if (option[0] != '-' || option[1] == '\0')
            break;  // an operand, "-" among them
        if (strcmp(option, "--") == 0)
            return taken + 1;
        if (strcmp(option, "-h") == 0 || strcmp(option, "--help") == 0) {
            *help = true;
        } else if ((allowed & kTakesPng) && strcmp(option, "--png") == 0) {
            options->png = true;
        } else if ((allowed & kTakesQuiet) && (strcmp(option, "-q") == 0 || strcmp(option, "--quiet") == 0)) {
            options->quiet = true;
        } else if ((allowed & kTakesPrice) && strncmp(option, kPrice, sizeof kPrice - 1) == 0) {
            unsigned long price;
            if (!ParseNumber(option + sizeof kPrice - 1, kMaxPrice, &price)) {
                UsageError(option, "the price must be decimal digits, 0 to " + std::to_string(kMaxPrice));
                return -1;
            }
            options->compress.codePenalty = unsigned(price);
        } else {
            UsageError(option, "not an option of this command");
            return -1;
        }
    }
    return taken;
}

Progress::Progress(bool quiet, size_t total) : quiet_(quiet), terminal_(IsTerminal(stderr)), total_(total) {}

std::string Progress::Line(size_t position, const std::string& text) const
{
    return std::to_string(position + 1) + "/" + std::to_string(total_) + " " + text;
}

void Progress::Step(size_t position, const std::string& text)
{
    if (quiet_)
        return;
    const std::string line = Line(position, text);
    if (!terminal_) {
        fprintf(stderr, "%s\n", line.c_str());
        return;
    }
    // Spaces rather than an escape sequence clear the rest: every console
    // understands them.
    const size_t pad = shown_ > line.size() ? shown_ - line.size() : 0;
    fprintf(stderr, "\r%s%*s", line.c_str(), int(pad), "");
    if (pad > 0)
        fprintf(stderr, "\r%s", line.c_str());
    shown_ = line.size();
}

void Progress::Failure(size_t position, const std::string& text)
{
    Done();
    fprintf(stderr, "%s\n", Line(position, text).c_str());
}

void Progress::Done()
{
    if (shown_ > 0)
        fprintf(stderr, "\r%*s\r", int(shown_), "");
    shown_ = 0;
}
