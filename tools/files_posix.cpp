// files_posix.cpp - the file-system calls of mhkbmp on POSIX systems.
#include "tools/files.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void Identify(const struct stat& info, FileIdentity* identity)
{
    identity->volume = static_cast<uint64_t>(info.st_dev);
    identity->index = static_cast<uint64_t>(info.st_ino);
}

// Size, identity and modification time, as a file is known by.
void Describe(const struct stat& info, InputFile* file)
{
    file->size = static_cast<uint64_t>(info.st_size);
    Identify(info, &file->identity);
    file->modified = int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
}

// The temporary file the signal handler removes, and the signals it takes.
char* volatile s_temporary;
sigset_t s_interrupts;
const int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void OnInterrupt(int signal)
{
    if (s_temporary != nullptr)
        unlink(s_temporary);
    _exit(128 + signal);
}

}  // namespace

bool GetStreamIdentity(FILE* stream, FileIdentity* identity)
{
    struct stat info;
    if (fstat(fileno(stream), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    Identify(info, identity);
    return true;
}

NameKind InspectName(const char* path)
{
    struct stat info;
    if (lstat(path, &info) != 0)
        return errno == ENOENT || errno == ENOTDIR ? kNameAbsent : kNameOther;
    if (S_ISLNK(info.st_mode)) {
        // Replaced, never followed; but a link to a device or FIFO is a way
        // of naming that (/dev/stdout), never a file to replace.
        if (stat(path, &info) != 0)
            return errno == ENOENT || errno == ENOTDIR || errno == ELOOP ? kNameLink : kNameOther;
        return S_ISREG(info.st_mode) ? kNameLink : kNameLinkToOther;
    }
    if (!S_ISREG(info.st_mode))
        return kNameOther;
    // The mode decides for everyone, root included, whom the kernel lets
    // write anything.
    return (info.st_mode & 0222) != 0 && access(path, W_OK) == 0 ? kNameRegular : kNameReadOnly;
}

bool IsFolder(const char* path)
{
    struct stat info;
    return stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

size_t FileNameStart(const std::string& path)
{
    const size_t cut = path.find_last_of('/');
    return cut == std::string::npos ? 0 : cut + 1;
}

std::string FolderPrefix(const std::string& folder)
{
    return folder.back() == '/' ? folder : folder + '/';
}

int LastError()
{
    return errno;
}

std::string ErrorText(int error)
{
    return strerror(error);
}

InputResult OpenInput(const char* path, InputFile* file)
{
    // Looked at before it is opened, so that no device is ever opened; and
    // again once open, as the name may have changed in between.
    struct stat info;
    if (stat(path, &info) != 0) {
        file->error = errno;
        return kInputCannotOpen;
    }
    if (!S_ISREG(info.st_mode))
        return kInputNotRegular;
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        file->error = errno;
        return kInputCannotOpen;
    }
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return kInputNotRegular;
    }
    file->handle = fd;
    Describe(info, file);
    file->identified = true;
    return kInputOpen;
}

bool OpenStandardInput(InputFile* file)
{
    const int fd = fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0);
    if (fd < 0)
        return false;
    file->handle = fd;
    struct stat info;
    file->identified = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (file->identified)
        Describe(info, file);
    return true;
}

bool ReadInput(InputFile* file, void* bytes, size_t count, size_t* got)
{
    ssize_t done;
    do
        done = read(static_cast<int>(file->handle), bytes, count);
    while (done < 0 && errno == EINTR);
    *got = done > 0 ? size_t(done) : 0;
    return done >= 0;
}

void CloseInput(InputFile* file)
{
    if (file->handle >= 0)
        close(static_cast<int>(file->handle));
    file->handle = -1;
}

void CloseInputForRename(InputFile*)
{
}

InputResult OpenLockedInput(const char* path, InputFile* file, void (*onWait)(const char* path))
{
    for (unsigned turn = 0; turn < kLockTurns; ++turn) {
        const InputResult opened = OpenInput(path, file);
        if (opened != kInputOpen)
            return opened;
        const int fd = static_cast<int>(file->handle);
        int done = flock(fd, LOCK_EX | LOCK_NB);
        if (done != 0 && errno == EWOULDBLOCK) {
            onWait(path);
            do
                done = flock(fd, LOCK_EX);
            while (done != 0 && errno == EINTR);
        }
        std::string change;
        if (done == 0 && StillSameFile(path, *file, &change))
            return kInputOpen;
        CloseInput(file);
        if (done != 0)
            break;
    }
    return kInputCannotLock;
}

bool GetFileState(const char* path, InputFile* state)
{
    struct stat info;
    if (stat(path, &info) != 0)
        return false;
    Describe(info, state);
    return true;
}

int CreateNewDescriptor(const char* path)
{
    // O_EXCL with O_CREAT fails on an existing name, a link included.
    return open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

unsigned long ProcessId()
{
    return static_cast<unsigned long>(getpid());
}

bool SyncFile(FILE* file)
{
    return fsync(fileno(file)) == 0;
}

bool SkipForward(FILE* file, uint64_t count)
{
    return fseeko(file, static_cast<off_t>(count), SEEK_CUR) == 0;
}

void CopyOwnerAndMode(const char* from, FILE* file)
{
    struct stat info;
    const int fd = fileno(file);
    if (stat(from, &info) != 0)
        return;
    // Owner and group where the system allows it; where it allows only
    // the group, that. Set-ID bits stay only on a file of the same owner
    // and group, as a changed owner must not inherit them.
    bool same = fchown(fd, info.st_uid, info.st_gid) == 0;
    if (!same)
        same = fchown(fd, static_cast<uid_t>(-1), info.st_gid) == 0 && info.st_uid == geteuid();
    fchmod(fd, info.st_mode & (same ? 07777 : 0777));
}

bool RemoveFile(const char* path)
{
    return unlink(path) == 0;
}

bool RenameOver(const char* from, const char* to)
{
    return rename(from, to) == 0;
}

void InstallInterruptHandlers()
{
    sigemptyset(&s_interrupts);
    for (const int signal : kInterrupts)
        sigaddset(&s_interrupts, signal);
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = OnInterrupt;
    action.sa_mask = s_interrupts;
    for (const int signal : kInterrupts) {
        struct sigaction old;
        // nohup and background jobs start with some ignored: they stay so.
        if (sigaction(signal, nullptr, &old) == 0 && old.sa_handler != SIG_IGN)
            sigaction(signal, &action, nullptr);
    }
    ::signal(SIGXFSZ, SIG_IGN);
}

void HoldInterrupts()
{
    sigprocmask(SIG_BLOCK, &s_interrupts, nullptr);
}

void AllowInterrupts()
{
    sigprocmask(SIG_UNBLOCK, &s_interrupts, nullptr);
}

void SetInterruptCleanup(const char* temporary, FILE*)
{
    char* old = s_temporary;
    s_temporary = temporary != nullptr ? strdup(temporary) : nullptr;
    free(old);
}
