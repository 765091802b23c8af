// files.cpp - the file-system pieces of mhkbmp that are the same everywhere.
#include "tools/files.h"

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
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

bool IsTerminal(FILE* stream)
{
    return isatty(fileno(stream)) != 0;
}

bool ReadWhole(InputFile* file, uint64_t limit, std::vector<uint8_t>* bytes)
{
    uint8_t chunk[65536];
    size_t got;
    bool ok;
    while ((ok = ReadInput(file, chunk, sizeof chunk, &got)) && got > 0 && bytes->size() <= limit)
        bytes->insert(bytes->end(), chunk, chunk + got);
    return ok;
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
