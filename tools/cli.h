// cli.h - the command line's own layer: exit codes, options and operands,
// and the one place failures are printed.
#pragma once

#include <stdint.h>

#include <string>

struct CompressOptions;

// Exit codes, one per failure the viewer itself can report, and two of
// packing's own.
enum ExitCode {
    kExitOk = 0,
    kExitUsage = 1,
    kExitCannotOpen = 2,   // MESSAGE_CANNOT_OPEN
    kExitNotArchive = 3,   // MESSAGE_NOT_ARCHIVE
    kExitNoImages = 4,     // MESSAGE_NO_IMAGES
    kExitCannotRead = 5,   // MESSAGE_CANNOT_READ
    kExitCannotWrite = 6,  // MESSAGE_CANNOT_WRITE
    kExitRefused = 7,      // an input is not a bitmap that pack accepts
    kExitTooLarge = 8,     // the inputs do not fit in one archive
};

// The viewer's text for an exit code ("" for kExitOk and kExitUsage).
const char* ExitMessage(ExitCode code);

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

// A file-table index as the commands take it: ASCII decimal digits only
// (leading zeros allowed), 0 to 65535.
bool ParseIndex(const char* text, uint16_t* index);

// Takes the options in front of a sub-command's operands (argv[0] is the
// sub-command): --png when png is given, --price=N (0 to kMaxPrice, the
// decoding-time price of CompressOptions::codePenalty) when options is
// given. False on any other argument starting with "--" there.
const unsigned kMaxPrice = 65536;
bool TakeOptions(int* argc, char*** argv, bool* png, CompressOptions* options);
