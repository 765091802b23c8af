// files.cpp - the file-system pieces of mhkbmp that are the same everywhere.
#include "tools/files.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

bool GetFileIdentity(const char* path, FileIdentity* identity)
{
    InputFile state;
    if (!GetFileState(path, &state))
        return false;
    *identity = state.identity;
    return true;
}

FILE* CreateNewFile(const char* path)
{
    const int fd = CreateNewDescriptor(path);
    if (fd < 0)
        return nullptr;
    FILE* file = fdopen(fd, "wb");
    if (file == nullptr)
        close(fd);
    return file;
}

bool StillSameFile(const char* path, const InputFile& file, std::string* change)
{
    InputFile now;
    if (!GetFileState(path, &now))
        *change = "was removed";
    else if (!SameFile(now.identity, file.identity))
        *change = "was replaced by another file";
    else if (now.size != file.size)
        *change = "changed size";
    else if (now.modified != file.modified)
        *change = "was modified";
    else
        return true;
    return false;
}
