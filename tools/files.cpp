// files.cpp - the file-system pieces of mhkbmp that are the same everywhere.
#include "tools/files.h"

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
