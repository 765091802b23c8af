// files.h - the file-system calls of mhkbmp that differ between POSIX
// (files_posix.cpp) and Windows (files_win32.cpp).
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

// What makes a file itself, whatever path reaches it: device and inode, or
// volume serial number and file index on Windows.
struct FileIdentity {
    uint64_t volume;
    uint64_t index;
};

inline bool SameFile(const FileIdentity& a, const FileIdentity& b)
{
    return a.volume == b.volume && a.index == b.index;
}

// False when path names nothing that can be opened. Follows links.
bool GetFileIdentity(const char* path, FileIdentity* identity);

// The identity of the file behind an open stream; false for a pipe, a
// terminal or anything else that is not a file on a disk.
bool GetStreamIdentity(FILE* stream, FileIdentity* identity);

// What a name in the file system is, without following a link.
enum NameKind {
    kNameAbsent,       // nothing has that name
    kNameRegular,      // a regular file that may be written
    kNameReadOnly,     // a regular file without write permission (for anyone), or one this process may not write
    kNameLink,         // a symbolic link (or other reparse point) to a regular file, or to nothing
    kNameLinkToOther,  // a link to a folder, FIFO, device or socket
    kNameOther,        // a folder, FIFO, device or socket, or a name that cannot be looked at
};
NameKind InspectName(const char* path);

// True when path is a folder (or, on Windows, a bare drive "X:"). Follows links.
bool IsFolder(const char* path);

// Where the file name in path starts, after its folders ("\\" and a drive's
// ":" end them too on Windows).
size_t FileNameStart(const std::string& path);

// DIR as the prefix of the names in it ("DIR/"; on Windows a bare drive
// "X:" stays as it is, that drive's current folder).
std::string FolderPrefix(const std::string& folder);

// The error of the last system call that failed (errno, or GetLastError
// on Windows, whose C library keeps it too), and the system's own words for
// an error.
int LastError();
std::string ErrorText(int error);

// True when stream is a terminal (a console on Windows).
bool IsTerminal(FILE* stream);

#ifdef _WIN32
// A wide string as UTF-8, the form every path and text has inside mhkbmp.
std::string Utf8(const wchar_t* wide);
#endif

// ---- Reading ----

// A file a command reads, open for reading.
struct InputFile {
    intptr_t handle = -1;  // a descriptor, or a HANDLE; -1 when closed
    intptr_t lock = 0;     // Windows: the mutex that OpenLockedInput holds
    uint64_t size = 0;
    FileIdentity identity = {};
    int64_t modified = 0;  // modification time, in the system's own units
    int error = 0;         // why OpenInput could not open it (LastError)
    bool identified = false;  // identity, size and time are the file's (not so for a pipe)
};

enum InputResult {
    kInputOpen,
    kInputCannotOpen,  // missing, or not readable
    kInputNotRegular,  // a folder, FIFO, device, socket or pipe, named directly or through a link
    kInputCannotLock,  // OpenLockedInput: no lock to be had, or the file keeps changing under it
};

// Opens path for reading, never waiting on a FIFO, pipe or device: only a
// regular file (through any links) is opened, anything else refused at
// once. Size, identity and modification time are filled in.
InputResult OpenInput(const char* path, InputFile* file);

// Standard input as a file to read (a copy of its descriptor or handle, so
// that closing it leaves standard input open); identified when it is a
// regular file.
bool OpenStandardInput(InputFile* file);

// Reads up to count bytes; *got is 0 at the end of the file.
bool ReadInput(InputFile* file, void* bytes, size_t count, size_t* got);

// Reads the rest of the file into *bytes, stopping once more than limit
// bytes are in: a file that grows while it is read is cut all the same.
// False on a read error (LastError says why).
bool ReadWhole(InputFile* file, uint64_t limit, std::vector<uint8_t>* bytes);

// Closes the file and drops its lock. Does nothing for a closed file.
void CloseInput(InputFile* file);

// Closes the file where a rename over it would be refused while it is open
// (Windows), keeping its lock; elsewhere the file, which holds the lock,
// stays open.
void CloseInputForRename(InputFile* file);

// Another run that renames its new file over a locked file lets go of the
// old one, and the next run takes the new file: each turn of that is a run
// that ended, so the turns end too, unless the file keeps changing for good.
const unsigned kLockTurns = 1000;

// OpenInput, holding the exclusive lock that one writer of a file holds
// for its whole run: flock, or on Windows a named mutex of the file's
// identity (a handle open on the file while another run renames a new file
// over it would make that rename fail). When another run holds it, calls
// onWait and waits, then takes whatever file path names by then.
// kInputCannotLock when no lock can be had.
InputResult OpenLockedInput(const char* path, InputFile* file, void (*onWait)(const char* path));

// The size, identity and modification time of whatever path names now
// (the handle and lock are left alone); false when nothing can be looked at.
bool GetFileState(const char* path, InputFile* state);

// True when path still names the file as it was opened: the same file, of
// the same size and modification time. Otherwise *change says what differs.
bool StillSameFile(const char* path, const InputFile& file, std::string* change);

// ---- Writing ----

// Creates path for writing only if no file, folder or link has that name;
// otherwise nullptr with errno EEXIST. Never follows a link.
FILE* CreateNewFile(const char* path);

// CreateNewFile's platform part: the new file's descriptor, or -1.
int CreateNewDescriptor(const char* path);

unsigned long ProcessId();
bool SyncFile(FILE* file);

// Moves count bytes forward in a file being written, past its end too.
bool SkipForward(FILE* file, uint64_t count);

// Gives file the owner, group and mode of the regular file at from, as far
// as the system lets this process (always, for root); nothing on Windows,
// where a new file gets the folder's inherited rights as the old one did.
void CopyOwnerAndMode(const char* from, FILE* file);

bool RenameOver(const char* from, const char* to);
bool RemoveFile(const char* path);

// ---- Interruptions ----

// Ctrl+C, SIGTERM and SIGHUP (Ctrl+C, Ctrl+Break and closing the console on
// Windows) remove the temporary file named by SetInterruptCleanup and end
// the process with 128 + the signal's number; a signal that the process was
// started to ignore stays ignored. SIGXFSZ is ignored, so a file-size limit
// is a write that fails.
void InstallInterruptHandlers();

// The creation of a temporary file and its rename each run between these,
// so that an interruption never comes between the file and its name being
// known to the handler.
void HoldInterrupts();
void AllowInterrupts();

// The temporary file to remove on an interruption (nullptr for none), and
// its stream while it is open: Windows removes an open file's name only
// once its last handle is closed, and under Wine that happens after the
// process's end is seen, so the handler closes the stream's handle first.
// Called between HoldInterrupts and AllowInterrupts.
void SetInterruptCleanup(const char* temporary, FILE* file);
