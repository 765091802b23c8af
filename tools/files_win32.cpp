// files_win32.cpp - the file-system calls of mhkbmp on Windows.
#include "tools/files.h"

#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

namespace {

const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Paths are UTF-8 inside mhkbmp, wide in every file call, so that any name
// Windows can hold can be read and written.
std::wstring Wide(const char* utf8)
{
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    std::wstring wide(length > 0 ? size_t(length) : 1, L'\0');
    if (length > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8, -1, &wide[0], length);
    wide.resize(wide.size() - 1);
    return wide;
}

}  // namespace

std::string Utf8(const wchar_t* wide)
{
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(length > 0 ? size_t(length) : 1, '\0');
    if (length > 0)
        WideCharToMultiByte(CP_UTF8, 0, wide, -1, &utf8[0], length, nullptr, nullptr);
    utf8.resize(utf8.size() - 1);
    return utf8;
}

namespace {

HANDLE AsHandle(intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

void Identify(const BY_HANDLE_FILE_INFORMATION& info, FileIdentity* identity)
{
    identity->volume = info.dwVolumeSerialNumber;
    identity->index = uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
}

// Size, identity and modification time, as a file is known by.
void Describe(const BY_HANDLE_FILE_INFORMATION& info, InputFile* file)
{
    file->size = uint64_t(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
    Identify(info, &file->identity);
    file->modified = int64_t(uint64_t(info.ftLastWriteTime.dwHighDateTime) << 32 | info.ftLastWriteTime.dwLowDateTime);
}

// A file on a disk, not a folder: devices (NUL, CON, COM1, ...) and pipes
// answer to file names too.
bool IsRegular(HANDLE file, BY_HANDLE_FILE_INFORMATION* info)
{
    return GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, info) != 0 &&
           (info->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Looks at whatever path names, through links, without disturbing anyone
// else's use of it: no access asked, everything shared. Backup semantics
// let a folder be opened too.
HANDLE OpenToLook(const char* path)
{
    return CreateFileW(Wide(path).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// The temporary file the console handler removes, and its stream while it
// is open; the lock keeps the handler and the creation, closing or rename
// of a temporary file apart.
CRITICAL_SECTION s_interruptLock;
wchar_t* s_temporary;
FILE* s_temporaryFile;

BOOL WINAPI OnConsoleEvent(DWORD event)
{
    // 128 + the number of the C runtime's signal for the event: SIGINT,
    // SIGBREAK, and SIGHUP's for a closed console.
    UINT code;
    switch (event) {
    case CTRL_C_EVENT: code = 130; break;
    case CTRL_BREAK_EVENT: code = 149; break;
    case CTRL_CLOSE_EVENT: code = 129; break;
    default: return FALSE;
    }
    EnterCriticalSection(&s_interruptLock);
    // Its name goes only with its last handle. The stream's lock waits out a
    // write in progress (one piece at most) and holds back the next, so the
    // main thread never sees the handle closed under it.
    if (s_temporaryFile != nullptr) {
        _lock_file(s_temporaryFile);
        CloseHandle(AsHandle(_get_osfhandle(_fileno(s_temporaryFile))));
    }
    if (s_temporary != nullptr)
        DeleteFileW(s_temporary);
    // Nothing of the main thread's runs again, no buffer is flushed.
    TerminateProcess(GetCurrentProcess(), code);
    return TRUE;
}

}  // namespace

bool GetStreamIdentity(FILE* stream, FileIdentity* identity)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!IsRegular(AsHandle(_get_osfhandle(_fileno(stream))), &info))
        return false;
    Identify(info, identity);
    return true;
}

NameKind InspectName(const char* path)
{
    const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return kNameAbsent;
    HANDLE file = OpenToLook(path);
    BY_HANDLE_FILE_INFORMATION info;
    const bool regular = file != INVALID_HANDLE_VALUE && IsRegular(file, &info);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return file == INVALID_HANDLE_VALUE || regular ? kNameLink : kNameLinkToOther;
    if (!regular)
        return kNameOther;
    return attributes & FILE_ATTRIBUTE_READONLY ? kNameReadOnly : kNameRegular;
}

bool IsFolder(const char* path)
{
    const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

size_t FileNameStart(const std::string& path)
{
    const size_t cut = path.find_last_of("/\\:");
    return cut == std::string::npos ? 0 : cut + 1;
}

std::string FolderPrefix(const std::string& folder)
{
    // "X:" is that drive's current folder, which "X:\" is not.
    if (folder.size() == 2 && folder[1] == ':')
        return folder;
    return folder.back() == '/' || folder.back() == '\\' ? folder : folder + '/';
}

int LastError()
{
    // The C library does not always leave the system's error behind: its
    // own then stands, as a negative number.
    const DWORD error = GetLastError();
    return error != 0 ? static_cast<int>(error) : -errno;
}

std::string ErrorText(int error)
{
    if (error <= 0)
        return strerror(-error);
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, DWORD(error), 0,
                                        reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string words = length > 0 ? Utf8(text) : "error " + std::to_string(error);
    LocalFree(text);
    // The system ends its words with a full stop and a line break.
    while (!words.empty() && (words.back() == '\n' || words.back() == '\r' || words.back() == ' ' || words.back() == '.'))
        words.pop_back();
    return words;
}

InputResult OpenInput(const char* path, InputFile* file)
{
    // Writers are kept out while the file is read; a rename over it is
    // not, and StillSameFile tells.
    HANDLE handle = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        file->error = LastError();
        const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) ? kInputNotRegular
                                                                                                : kInputCannotOpen;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!IsRegular(handle, &info)) {
        CloseHandle(handle);
        return kInputNotRegular;
    }
    file->handle = reinterpret_cast<intptr_t>(handle);
    Describe(info, file);
    file->identified = true;
    return kInputOpen;
}

bool OpenStandardInput(InputFile* file)
{
    HANDLE handle;
    if (!DuplicateHandle(GetCurrentProcess(), GetStdHandle(STD_INPUT_HANDLE), GetCurrentProcess(), &handle, 0, FALSE,
                         DUPLICATE_SAME_ACCESS))
        return false;
    file->handle = reinterpret_cast<intptr_t>(handle);
    BY_HANDLE_FILE_INFORMATION info;
    file->identified = IsRegular(handle, &info);
    if (file->identified)
        Describe(info, file);
    return true;
}

bool ReadInput(InputFile* file, void* bytes, size_t count, size_t* got)
{
    DWORD done = 0;
    const DWORD piece = count > 0x40000000 ? 0x40000000 : DWORD(count);
    // A pipe whose writer is gone ends this way.
    const bool ok = ReadFile(AsHandle(file->handle), bytes, piece, &done, nullptr) != 0 ||
                    GetLastError() == ERROR_BROKEN_PIPE;
    *got = ok ? done : 0;
    return ok;
}

void CloseInputForRename(InputFile* file)
{
    if (file->handle != -1)
        CloseHandle(AsHandle(file->handle));
    file->handle = -1;
}

void CloseInput(InputFile* file)
{
    if (file->lock != 0) {
        ReleaseMutex(AsHandle(file->lock));
        CloseHandle(AsHandle(file->lock));
        file->lock = 0;
    }
    CloseInputForRename(file);
}

InputResult OpenLockedInput(const char* path, InputFile* file, void (*onWait)(const char* path))
{
    for (unsigned turn = 0; turn < kLockTurns; ++turn) {
        FileIdentity identity;
        if (!GetFileIdentity(path, &identity))
            return OpenInput(path, file);
        char name[80];
        const unsigned long long volume = identity.volume, index = identity.index;
        snprintf(name, sizeof name, "Global\\mhkbmp-%016llx-%016llx", volume, index);
        HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
        if (mutex == nullptr) {  // "Global\" may be closed to this account
            snprintf(name, sizeof name, "Local\\mhkbmp-%016llx-%016llx", volume, index);
            mutex = CreateMutexA(nullptr, FALSE, name);
        }
        if (mutex == nullptr)
            return kInputCannotLock;
        DWORD waited = WaitForSingleObject(mutex, 0);
        if (waited == WAIT_TIMEOUT) {
            onWait(path);
            waited = WaitForSingleObject(mutex, INFINITE);
        }
        // An abandoned mutex is owned all the same: its holder ended.
        if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
            CloseHandle(mutex);
            return kInputCannotLock;
        }
        const InputResult opened = OpenInput(path, file);
        if (opened == kInputOpen && SameFile(file->identity, identity)) {
            file->lock = reinterpret_cast<intptr_t>(mutex);
            return kInputOpen;
        }
        if (opened == kInputOpen)
            CloseInput(file);
        ReleaseMutex(mutex);
        CloseHandle(mutex);
        if (opened != kInputOpen)
            return opened;
    }
    return kInputCannotLock;
}

bool GetFileState(const char* path, InputFile* state)
{
    HANDLE handle = OpenToLook(path);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool looked = GetFileInformationByHandle(handle, &info) != 0;
    CloseHandle(handle);
    if (looked)
        Describe(info, state);
    return looked;
}

int CreateNewDescriptor(const char* path)
{
    // CREATE_NEW fails on any existing name. Delete sharing lets the
    // file's name be removed while it is still open.
    HANDLE handle = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        errno = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? EEXIST : EACCES;
        return -1;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (fd < 0)
        CloseHandle(handle);
    return fd;
}

unsigned long ProcessId()
{
    return static_cast<unsigned long>(_getpid());
}

bool SyncFile(FILE* file)
{
    // Under the stream's lock, which keeps the console handler from closing
    // the handle meanwhile.
    _lock_file(file);
    const bool synced = FlushFileBuffers(AsHandle(_get_osfhandle(_fileno(file)))) != 0;
    _unlock_file(file);
    return synced;
}

bool SkipForward(FILE* file, uint64_t count)
{
    return _fseeki64(file, static_cast<__int64>(count), SEEK_CUR) == 0;
}

void CopyOwnerAndMode(const char*, FILE*)
{
}

bool RemoveFile(const char* path)
{
    return DeleteFileW(Wide(path).c_str()) != 0;
}

bool RenameOver(const char* from, const char* to)
{
    return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

void InstallInterruptHandlers()
{
    InitializeCriticalSection(&s_interruptLock);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void HoldInterrupts()
{
    EnterCriticalSection(&s_interruptLock);
}

void AllowInterrupts()
{
    LeaveCriticalSection(&s_interruptLock);
}

void SetInterruptCleanup(const char* temporary, FILE* file)
{
    s_temporaryFile = file;
    free(s_temporary);
    s_temporary = temporary != nullptr ? _wcsdup(Wide(temporary).c_str()) : nullptr;
}
