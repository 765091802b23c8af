// output.cpp - the one way mhkbmp writes a file. Nothing a command reads is
// ever written over, nothing but a regular file or a link is ever replaced,
// a link is replaced rather than followed, and a failed write leaves the
// old file as it was: every output is written to a new temporary file in
// its own folder (so the rename stays on one volume) and renamed over the
// output only when all of it is out.
#include <errno.h>
#include <stdio.h>

#include "tools/mhkbmp.h"

namespace {

bool SameFile(const FileIdentity& a, const FileIdentity& b)
{
    return a.volume == b.volume && a.index == b.index;
}

ExitCode Refuse(const std::string& path, const std::string& why)
{
    fprintf(stderr, "%s is %s; nothing written\n", path.c_str(), why.c_str());
    return kExitCannotOpen;
}

// The output's folder as a prefix of its path ("" for the current folder).
std::string FolderOf(const std::string& path)
{
#ifdef _WIN32
    const size_t cut = path.find_last_of("/\\:");
#else
    const size_t cut = path.find_last_of('/');
#endif
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

}  // namespace

void ProtectFile(ProtectedFiles* files, const char* path)
{
    ProtectedFile file;
    if (GetFileIdentity(path, &file.identity)) {
        file.path = path;
        files->push_back(file);
    }
}

ExitCode CheckOutput(const std::string& path, const ProtectedFiles& files)
{
    FileIdentity output;
    if (GetFileIdentity(path.c_str(), &output)) {
        for (const ProtectedFile& file : files) {
            if (SameFile(output, file.identity))
                return Refuse(path, "the same file as the input " + file.path);
        }
    }
    switch (InspectName(path.c_str())) {
    case kNameOther: return Refuse(path, "not a regular file");
    case kNameReadOnly: return Refuse(path, "a read-only file");
    default: return kExitOk;
    }
}

ExitCode OpenOutput(const std::string& path, OutputFile* output)
{
    output->path = path;
    output->replacing = InspectName(path.c_str()) == kNameRegular;
    output->failed = false;
    // A short name of its own, whatever the output's length, created only
    // where nothing had that name: a file or link already there is left
    // alone and the next name tried.
    const std::string base = FolderOf(path) + ".mhkbmp-" + std::to_string(ProcessId()) + "-";
    output->file = nullptr;
    for (unsigned attempt = 0; output->file == nullptr && attempt < 100; ++attempt) {
        output->temporary = base + std::to_string(attempt) + ".tmp";
        output->file = CreateNewFile(output->temporary.c_str());
        if (output->file == nullptr && errno != EEXIST)
            break;
    }
    if (output->file == nullptr)
        return kExitCannotOpen;
    if (output->replacing)
        CopyPermissions(path.c_str(), output->file);
    return kExitOk;
}

bool WriteOutput(OutputFile* output, const void* bytes, size_t count)
{
    if (!output->failed && fwrite(bytes, 1, count, output->file) != count)
        output->failed = true;
    return !output->failed;
}

ExitCode CloseOutput(OutputFile* output, bool commit)
{
    bool ok = commit && !output->failed && fflush(output->file) == 0;
    // The old file is gone once the rename is done, so the new one must be
    // on the disk first.
    if (ok && output->replacing)
        ok = SyncFile(output->file);
    ok = fclose(output->file) == 0 && ok;
    output->file = nullptr;
    ok = ok && RenameOver(output->temporary.c_str(), output->path.c_str());
    if (!ok)
        remove(output->temporary.c_str());
    return ok ? kExitOk : kExitCannotWrite;
}

ExitCode WriteOutputFile(const std::string& path, const void* bytes, size_t count)
{
    OutputFile output;
    const ExitCode opened = OpenOutput(path, &output);
    if (opened != kExitOk)
        return opened;
    WriteOutput(&output, bytes, count);
    return CloseOutput(&output, true);
}
