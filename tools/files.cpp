// files.cpp - the file-system calls of mhkbmp that differ between POSIX and
// Windows.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>

#include "tools/mhkbmp.h"

#ifdef _WIN32
#include <io.h>
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

// _O_EXCL opens with CREATE_NEW, which fails on any existing name.
static int OpenNewFile(const char* path)
{
    return _open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
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

// O_EXCL with O_CREAT fails on an existing name, a link included.
static int OpenNewFile(const char* path)
{
    return open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
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
