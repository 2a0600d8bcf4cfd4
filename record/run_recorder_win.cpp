// Win32 side of the run record: see run_recorder_win.h.
#include "record/run_recorder_win.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace qm::win {

namespace {

// Text in the system code page as UTF-8, through buffers on the stack: a driver's
// identifier is a short ProgID. Text too long for them, or that cannot be turned, is
// left as it is (the record's writer then escapes its high bytes).
void CodePageToUtf8(std::string& text) {
    wchar_t wide[256];
    char utf8[768];
    const int wideLength = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide, 256);
    if (wideLength <= 0)
        return;
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide, wideLength, utf8, sizeof utf8, nullptr, nullptr);
    if (length > 0)
        text.assign(utf8, static_cast<size_t>(length));
}

constexpr char kLockNamePrefix[] = "Local\\QuillomarRunRecord-";

// The name from the folder's path: one name for every spelling of the path that differs
// only in case, as Windows compares paths. The hash is FNV-1a over the upper-case path;
// a mutex name cannot hold the path itself (it may not contain a backslash).
std::string LockNameOfPath(std::string directory) {
    if (!directory.empty())
        CharUpperBuffA(directory.data(), static_cast<DWORD>(directory.size()));
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : directory)
        hash = (hash ^ c) * 1099511628211ull;
    char name[64];
    std::snprintf(name, sizeof name, "%s%016llx", kLockNamePrefix, static_cast<unsigned long long>(hash));
    return name;
}

bool WriteWhole(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) || written == 0)
            return false;
        bytes.remove_prefix(written);
    }
    return true;
}

// A FindFirstFileA search, closed however the listing ends.
class FileSearch {
  public:
    explicit FileSearch(HANDLE search) : search_(search) {}
    ~FileSearch() {
        if (Found())
            FindClose(search_);
    }
    FileSearch(const FileSearch&) = delete;
    FileSearch& operator=(const FileSearch&) = delete;
    bool Found() const { return search_ != INVALID_HANDLE_VALUE; }
    HANDLE Handle() const { return search_; }

  private:
    HANDLE search_;
};

}  // namespace

std::string RunRecordLockName(const std::string& directory) {
    // FILE_FLAG_BACKUP_SEMANTICS opens a directory; no access right is asked for, so a
    // folder the user may only list still opens.
    KernelHandle folder(CreateFileA(directory.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!folder || !GetFileInformationByHandle(folder.get(), &info))
        return LockNameOfPath(directory);
    char name[80];
    std::snprintf(name, sizeof name, "%sid-%08lx%08lx", kLockNamePrefix, static_cast<unsigned long>(info.nFileIndexHigh),
                  static_cast<unsigned long>(info.nFileIndexLow));
    return name;
}

bool RunRecordStoreWin::Lock() {
    if (!mutex_) {
        mutex_.reset(CreateMutexA(nullptr, FALSE, RunRecordLockName(files_.ProgramDirectory()).c_str()));
        if (!mutex_)
            return false;
    }
    // WAIT_ABANDONED: its holder was killed while keeping a run. The lock is ours, and
    // what the killed program left is what every step is ordered to leave readable.
    const DWORD result = WaitForSingleObject(mutex_.get(), lockWaitMs_);
    return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

void RunRecordStoreWin::Unlock() {
    ReleaseMutex(mutex_.get());
}

std::optional<std::string> RunRecordStoreWin::Read(const std::string& path) {
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES && GetLastError() == ERROR_FILE_NOT_FOUND)
        return std::string();
    return files_.ReadAll(path);
}

bool RunRecordStoreWin::Append(const std::string& path, std::string_view bytes) {
    // With FILE_APPEND_DATA alone every write goes to the file's end, wherever another
    // handle has moved it; others may go on reading, appending and renaming meanwhile.
    KernelHandle file(CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    const bool written = WriteWhole(file.get(), bytes) && FlushFileBuffers(file.get());
    return file.reset() && written;
}

RunRecordStore::Replaced RunRecordStoreWin::Replace(const std::string& path, std::string_view content) {
    switch (files_.ReplaceThroughTemporary(path, content)) {
        case SettingsFilesWin::Replacement::Done:
            return Replaced::Done;
        case SettingsFilesWin::Replacement::Refused:
            return Replaced::Refused;
        case SettingsFilesWin::Replacement::Failed:
            break;
    }
    return Replaced::Failed;
}

bool RunRecordStoreWin::Overwrite(const std::string& path, std::string_view content) {
    // Readers may read it meanwhile and see it torn; the next run writes it again.
    KernelHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    const bool written = WriteWhole(file.get(), content) && SetEndOfFile(file.get()) && FlushFileBuffers(file.get());
    return file.reset() && written;
}

std::string RunRecordStoreWin::PendingStamp() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    char stamp[40];
    std::snprintf(stamp, sizeof stamp, "%08lx%08lx-%08lx", static_cast<unsigned long>(now.dwHighDateTime),
                  static_cast<unsigned long>(now.dwLowDateTime), static_cast<unsigned long>(GetCurrentProcessId()));
    return stamp;
}

bool RunRecordStoreWin::WriteNew(const std::string& path, std::string_view bytes) {
    // Shared with no one until it is whole and on the disk: a holder of the lock that
    // lists it meanwhile cannot open it, and leaves it for the next run.
    KernelHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    const bool written = WriteWhole(file.get(), bytes) && FlushFileBuffers(file.get());
    if (file.reset() && written)
        return true;
    DeleteFileA(path.c_str());
    return false;
}

std::vector<std::string> RunRecordStoreWin::FileNames(std::string_view prefix, std::string_view suffix) {
    std::vector<std::string> names;
    const std::string pattern = files_.ProgramDirectory() + std::string(prefix) + "*" + std::string(suffix);
    WIN32_FIND_DATAA found;
    const FileSearch search(FindFirstFileA(pattern.c_str(), &found));
    if (!search.Found())
        return names;
    do {
        // FindFirstFileA also matches short (8.3) names: only the long name counts.
        const std::string_view name = found.cFileName;
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name.size() >= prefix.size() + suffix.size() &&
            name.substr(0, prefix.size()) == prefix && name.substr(name.size() - suffix.size()) == suffix)
            names.emplace_back(name);
    } while (FindNextFileA(search.Handle(), &found));
    return names;
}

bool RunRecordStoreWin::Remove(const std::string& path) {
    return DeleteFileA(path.c_str()) != 0;
}

std::string RunRecorderWin::UtcTimeNow() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return FormatUtcTime(static_cast<uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime);
}

void RunRecorderWin::RunEnded(RunRecord& record) {
    CodePageToUtf8(record.driverId);
    KeepRunRecord(store_, record);
}

}  // namespace qm::win
