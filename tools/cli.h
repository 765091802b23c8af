// cli.h - the command line's own layer: exit codes, options and operands,
// and the one place failures are printed.
#pragma once

#include <stdint.h>

#include <string>

#include "packer/compress.h"

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

// What failed (a file or folder, or "standard output") and why: the
// system's own words for a system error, or the command's reason. Noted
// where the failure is found; the first note stands until Fail prints it.
void NoteFailure(const std::string& what, const std::string& reason);

// The one printer of failures: the noted failure as one line on stderr,
// "mhkbmp COMMAND: what: reason", then the viewer's message of code on a
// line of its own when code has one. Returns code.
ExitCode Fail(ExitCode code);

// NoteFailure, then Fail.
ExitCode Fail(ExitCode code, const std::string& what, const std::string& reason);

// A usage error: noted, then printed after the usage by main.
ExitCode UsageError(const std::string& what, const std::string& reason);

// A line of the same shape that ends nothing ("waiting for ...").
void Say(const std::string& what, const std::string& reason);

// Flushes standard output: kExitOk, or kExitCannotWrite with the failure
// printed, saying that what is done (when given) stays done.
ExitCode FlushStandardOutput(const char* done = nullptr);

// A file-table index as the commands take it: ASCII decimal digits only
// (leading zeros allowed), 0 to 65535. kExitOk, or a usage error (noted).
ExitCode ParseIndex(const char* text, uint16_t* index);

// A command's options, as the command line sets them.
struct Options {
    bool png = false;          // --png
    bool quiet = false;        // -q, --quiet: no progress lines
    CompressOptions compress;  // --price=N: its codePenalty, 0 to kMaxPrice
};
const unsigned kMaxPrice = 65536;

// The options a command takes, beside -h/--help, which every one does.
enum OptionFlags : unsigned { kTakesPng = 1, kTakesPrice = 2, kTakesQuiet = 4 };

// Takes the options in front of a command's operands (args[0] is the
// first argument after the command's name), up to the first operand or
// "--", which is taken too; "-" is an operand. Returns how many arguments
// it took, or -1 for a usage error (noted); *help is set by -h or --help.
int TakeOptions(int count, char** args, unsigned allowed, Options* options, bool* help);

// Progress lines of a run over total pictures, on stderr, each "N/TOTAL
// text" for the picture at position (from 0): one line each, or one line
// rewritten in place on a terminal (cleared at the end), or none with
// --quiet. A failure's line is always printed, on its own.
class Progress {
public:
    Progress(bool quiet, size_t total);
    ~Progress() { Done(); }
    void Step(size_t position, const std::string& text);
    void Failure(size_t position, const std::string& text);
    void Done();

private:
    std::string Line(size_t position, const std::string& text) const;

    bool quiet_;
    bool terminal_;
    size_t total_;
    size_t shown_ = 0;  // length of the line in place
};
