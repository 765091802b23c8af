// output.cpp - see output.h. Every output is written to a new temporary
// file in its own folder (so the rename stays on one volume) and renamed
// over the output only when all of it is out.
#include "tools/output.h"

#include <errno.h>
#include <stdint.h>

#include <algorithm>

namespace {

ExitCode Refuse(const std::string& path, const std::string& why)
{
    NoteFailure(path, why + "; nothing written");
    return kExitCannotOpen;
}

}  // namespace

void ProtectArchive(ProtectedFiles* files, const ArchiveFile& archive)
{
    if (archive.file().identified)
        files->push_back(ProtectedFile{archive.file().identity, archive.name()});
}

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
    const bool stream = path == kStandardStream;
    if (stream ? GetStreamIdentity(stdout, &output) : GetFileIdentity(path.c_str(), &output)) {
        for (const ProtectedFile& file : files) {
            if (SameFile(output, file.identity))
                return Refuse(stream ? "standard output" : path, "the same file as the input " + file.path);
        }
    }
    if (stream)
        return kExitOk;
    switch (InspectName(path.c_str())) {
    case kNameOther: return Refuse(path, "not a regular file");
    case kNameLinkToOther: return Refuse(path, "a link to something that is not a regular file");
    case kNameReadOnly: return Refuse(path, "a read-only file");
    default: return kExitOk;
    }
}

ExitCode OpenOutput(const std::string& path, OutputFile* output)
{
    output->path = path;
    output->failed = false;
    output->unchanged = nullptr;
    if (path == kStandardStream) {
        output->replacing = false;
        output->file = stdout;
        return kExitOk;
    }
    output->replacing = InspectName(path.c_str()) == kNameRegular;
    // A short name of its own, whatever the output's length, created only
    // where nothing had that name: a file or link already there is left
    // alone and the next name tried.
    const std::string base = path.substr(0, FileNameStart(path)) + ".mhkbmp-" + std::to_string(ProcessId()) + "-";
    output->file = nullptr;
    int failure = 0;
    for (unsigned attempt = 0; output->file == nullptr && attempt < 100; ++attempt) {
        output->temporary = base + std::to_string(attempt) + ".tmp";
        HoldInterrupts();
        output->file = CreateNewFile(output->temporary.c_str());
        const int error = errno;
        failure = LastError();
        if (output->file != nullptr)
            SetInterruptCleanup(output->temporary.c_str(), output->file);
        AllowInterrupts();
        if (output->file == nullptr && error != EEXIST)
            break;
    }
    if (output->file == nullptr) {
        NoteFailure(path, ErrorText(failure) + " (its temporary file cannot be made beside it)");
        return kExitCannotOpen;
    }
    if (output->replacing)
        CopyOwnerAndMode(path.c_str(), output->file);
    return kExitOk;
}

namespace {

std::string Named(const OutputFile& output)
{
    return output.file == stdout ? "standard output" : output.path;
}

// Notes the system's reason for a step that failed; false.
bool Failed(const OutputFile& output)
{
    NoteFailure(Named(output), ErrorText(LastError()));
    return false;
}

}  // namespace

bool WriteOutput(OutputFile* output, const void* bytes, size_t count)
{
    static const uint8_t kZeros[4096] = {};
    // An interruption waits for the write in progress: one piece at most.
    const size_t kPiece = size_t(1) << 20;
    if (bytes == nullptr && count > 0 && output->file != stdout) {
        // A run of zeros as a hole in the new file, then its last byte, so
        // that the file has its size even when nothing follows.
        output->failed = output->failed || (!SkipForward(output->file, count - 1) && !Failed(*output));
        bytes = kZeros;
        count = 1;
    }
    for (size_t done = 0; !output->failed && done < count;) {
        const size_t piece = std::min(count - done, bytes != nullptr ? kPiece : sizeof kZeros);
        const void* from = bytes != nullptr ? static_cast<const uint8_t*>(bytes) + done : kZeros;
        output->failed = fwrite(from, 1, piece, output->file) != piece && !Failed(*output);
        done += piece;
    }
    return !output->failed;
}

bool WriteToOutput(void* context, const void* bytes, size_t count)
{
    return WriteOutput(static_cast<OutputFile*>(context), bytes, count);
}

ExitCode CloseOutput(OutputFile* output, bool commit)
{
    bool ok = commit && !output->failed && (fflush(output->file) == 0 || Failed(*output));
    if (output->file == stdout) {
        output->file = nullptr;
        return ok ? kExitOk : kExitCannotWrite;
    }
    // The old file is gone once the rename is done, so the new one must be
    // on the disk first.
    if (ok && output->replacing)
        ok = SyncFile(output->file) || Failed(*output);
    HoldInterrupts();
    ok = (fclose(output->file) == 0 || Failed(*output)) && ok;
    SetInterruptCleanup(output->temporary.c_str(), nullptr);
    AllowInterrupts();
    output->file = nullptr;
    std::string change;
    if (ok && output->unchanged != nullptr && !output->unchanged->StillSame(&change)) {
        NoteFailure(output->unchanged->name(), change + " while it was being read; nothing written");
        ok = false;
    }
    HoldInterrupts();
    ok = ok && (RenameOver(output->temporary.c_str(), output->path.c_str()) || Failed(*output));
    if (!ok)
        RemoveFile(output->temporary.c_str());
    SetInterruptCleanup(nullptr, nullptr);
    AllowInterrupts();
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
