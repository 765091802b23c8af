// files.cpp - file names and the file system for mhkbmp.
#include "tools/mhkbmp.h"

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
