// files.cpp - the file-system calls of mhkbmp that differ between POSIX and
// Windows.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>

#include "tools/mhkbmp.h"

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

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

#ifdef _WIN32

bool GetFileIdentity(const char* path, FileIdentity* identity)
{
    // Backup semantics let a folder be opened too; sharing everything keeps
    // the look from disturbing anyone else's use of the file.
    HANDLE file = CreateFileA(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool ok = GetFileInformationByHandle(file, &info) != 0;
    CloseHandle(file);
    if (ok) {
        identity->volume = info.dwVolumeSerialNumber;
        identity->index = uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
    }
    return ok;
}

NameKind InspectName(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return kNameAbsent;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return kNameLink;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return kNameOther;
    // Devices (NUL, CON, COM1, ...) answer to file names too; only a file on
    // a disk is a regular file. Opened for no access, so nothing is disturbed.
    HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return kNameOther;
    const DWORD type = GetFileType(file);
    CloseHandle(file);
    if (type != FILE_TYPE_DISK)
        return kNameOther;
    return attributes & FILE_ATTRIBUTE_READONLY ? kNameReadOnly : kNameRegular;
}

bool IsFolder(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// _O_EXCL opens with CREATE_NEW, which fails on any existing name.
static int OpenNewFile(const char* path)
{
    return _open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}

unsigned long ProcessId()
{
    return static_cast<unsigned long>(_getpid());
}

bool SyncFile(FILE* file)
{
    return FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)))) != 0;
}

void CopyPermissions(const char*, FILE*)
{
    // A new file gets the folder's inherited access rights, as the old one did.
}

bool RenameOver(const char* from, const char* to)
{
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != 0;
}

#else

bool GetFileIdentity(const char* path, FileIdentity* identity)
{
    struct stat info;
    if (stat(path, &info) != 0)
        return false;
    identity->volume = static_cast<uint64_t>(info.st_dev);
    identity->index = static_cast<uint64_t>(info.st_ino);
    return true;
}

NameKind InspectName(const char* path)
{
    struct stat info;
    if (lstat(path, &info) != 0)
        return errno == ENOENT || errno == ENOTDIR ? kNameAbsent : kNameOther;
    if (S_ISLNK(info.st_mode))
        return kNameLink;
    if (!S_ISREG(info.st_mode))
        return kNameOther;
    return access(path, W_OK) == 0 ? kNameRegular : kNameReadOnly;
}

bool IsFolder(const char* path)
{
    struct stat info;
    return stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

// O_EXCL with O_CREAT fails on an existing name, a link included.
static int OpenNewFile(const char* path)
{
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

void CopyPermissions(const char* from, FILE* file)
{
    struct stat info;
    if (stat(from, &info) == 0)
        fchmod(fileno(file), info.st_mode & 0777);
}

bool RenameOver(const char* from, const char* to)
{
    return rename(from, to) == 0;
}

#endif

FILE* CreateNewFile(const char* path)
{
    const int fd = OpenNewFile(path);
    if (fd < 0)
        return nullptr;
    FILE* file = fdopen(fd, "wb");
    if (file == nullptr)
        close(fd);
    return file;
}
