// Win32 file operations of the settings component: see settings_files_win.h.
#include "settings/settings_files_win.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string_view>

#include "common/raii_win.h"
#include "settings/in_place_rewrite.h"

namespace qm::win {

namespace {

// WriteFile moves at most this much per call.
constexpr DWORD kChunk = 1u << 20;
// Attempts to find an unused temporary file name before giving up.
constexpr int kTempNameAttempts = 100;
// A temporary file older than this is left over whatever its name says: no replace
// takes so long, and the id in its name may by now be another process's (ten minutes).
constexpr int64_t kLeftoverAge100ns = 10LL * 60 * 10000000;
// The flags of the old file that its replacement takes over.
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// A unique name for a temporary file beside path, starting with the writer's process id
// (RemoveLeftoverTemps reads it).
std::string TempNameBeside(const std::string& path) {
    static unsigned counter = 0;
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, ".%lx-%lx-%x.tmp", GetCurrentProcessId(), GetTickCount(), counter++);
    return path + suffix;
}

bool WriteAll(HANDLE file, std::string_view content) {
    size_t done = 0;
    while (done < content.size()) {
        DWORD part = static_cast<DWORD>(std::min<size_t>(content.size() - done, kChunk));
        DWORD written = 0;
        if (!WriteFile(file, content.data() + done, part, &written, nullptr) || written == 0)
            return false;
        done += written;
    }
    return true;
}

// An open file as the in-place rewrite writes it.
class HandleFile : public RewritableFile {
  public:
    explicit HandleFile(HANDLE file) : file_(file) {}
    bool WriteAt(uint64_t offset, std::string_view bytes) override { return MoveTo(offset) && WriteAll(file_, bytes); }
    bool Flush() override { return FlushFileBuffers(file_) != FALSE; }
    bool SetLength(uint64_t length) override { return MoveTo(length) && SetEndOfFile(file_); }

  private:
    bool MoveTo(uint64_t offset) {
        LARGE_INTEGER position{};
        position.QuadPart = static_cast<LONGLONG>(offset);
        return SetFilePointerEx(file_, position, nullptr, FILE_BEGIN) != FALSE;
    }
    HANDLE file_;
};

// Writes content over the existing file at path, for a directory that lets the file be
// written but refuses new files beside it. The file is opened without sharing, so no
// reader meets it half written; RewriteInPlace orders the writes so that a crash leaves
// a file that reads as the old settings or as the new ones.
bool OverwriteInPlace(const std::string& path, const std::string& content) {
    KernelHandle file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    // Without the old content there would be nothing to put back: leave the file alone.
    const std::optional<std::string> old = ReadToEnd(file.get());
    if (!old)
        return false;
    HandleFile target(file.get());
    return RewriteInPlace(target, *old, content);
}

}  // namespace


namespace {

// Whether the temporary file `name` (in the form TempNameBeside gives, after the
// file's own name and its point) may have a writer that is still at work: its process,
// named by the id at the start of the suffix, still runs, and the file is younger than
// any write takes.
bool MayStillBeWritten(const char* suffix, const FILETIME& written) {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const uint64_t age = (static_cast<uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime) -
                         (static_cast<uint64_t>(written.dwHighDateTime) << 32 | written.dwLowDateTime);
    if (static_cast<int64_t>(age) > kLeftoverAge100ns)
        return false;
    DWORD processId = 0;
    int digits = 0;
    for (; *suffix && *suffix != '-'; ++suffix, ++digits) {
        const char c = *suffix;
        const int value = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (value < 0 || digits == 8)
            return false;  // not a name this program gives: an old one, or someone else's
        processId = processId << 4 | static_cast<DWORD>(value);
    }
    if (digits == 0 || *suffix != '-')
        return false;
    KernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process)
        return GetLastError() == ERROR_ACCESS_DENIED;  // there, but not ours to ask
    DWORD exitCode = 0;
    return GetExitCodeProcess(process.get(), &exitCode) && exitCode == STILL_ACTIVE;
}

// Removes temporary files that an earlier save left behind when its program was killed
// between writing its temporary file and renaming it. Another program's replace of the
// same file may be under way: its file is kept, or its rename would fail.
void RemoveLeftoverTemps(const std::string& path) {
    const std::string pattern = path + ".*.tmp";
    const size_t slash = path.find_last_of("\\/:");
    const std::string directory = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const size_t suffixAt = path.size() - directory.size() + 1;  // after the name and its point
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        // FindFirstFileA also matches short (8.3) names: only a long name that holds the
        // file's whole name has a suffix to read.
        if (strlen(found.cFileName) > suffixAt && MayStillBeWritten(found.cFileName + suffixAt, found.ftLastWriteTime))
            continue;
        DeleteFileA((directory + found.cFileName).c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

}  // namespace

KernelHandle SettingsFilesWin::CreateTemporaryFile(const std::string& tempPath) {
    return KernelHandle(
        CreateFileA(tempPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool SettingsFilesWin::ReplaceAll(const std::string& path, const std::string& content) {
    switch (ReplaceThroughTemporary(path, content)) {
        case Replacement::Done:
            return true;
        case Replacement::Refused:
            // A directory that refuses new files may still let the existing file be written.
            return OverwriteInPlace(path, content);
        case Replacement::Failed:
            break;
    }
    return false;
}

SettingsFilesWin::Replacement SettingsFilesWin::ReplaceThroughTemporary(const std::string& path,
                                                                        std::string_view content) {
    // Windows refuses to replace a read-only file; say so before writing anything,
    // and the same on every system.
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
        return Replacement::Failed;
    }
    RemoveLeftoverTemps(path);
    std::string temp;
    KernelHandle file;
    DWORD refusal = ERROR_SUCCESS;
    for (int attempt = 0; attempt < kTempNameAttempts && !file; ++attempt) {
        temp = TempNameBeside(path);
        file = CreateTemporaryFile(temp);
        refusal = file ? ERROR_SUCCESS : GetLastError();
        if (!file && refusal != ERROR_FILE_EXISTS && refusal != ERROR_ALREADY_EXISTS)
            break;
    }
    if (!file) {
        // Any failure but a refusal (names all taken, a bad path, a full disk) fails the
        // replace and leaves the file alone.
        return refusal == ERROR_ACCESS_DENIED ? Replacement::Refused : Replacement::Failed;
    }

    bool written = WriteAll(file.get(), content) && FlushFileBuffers(file.get());
    written = file.reset() && written;
    // The new file takes the place of the old one, so it takes the old one's flags
    // too (hidden, system, not indexed), and is marked changed as any write marks a
    // file. A failure here costs a flag, not the settings.
    if (written && attributes != INVALID_FILE_ATTRIBUTES)
        SetFileAttributesA(temp.c_str(), (attributes & kKeptAttributes) | FILE_ATTRIBUTE_ARCHIVE);
    // The rename is the one step that changes what the old name holds; the system
    // refuses it for a file that is open without delete sharing.
    if (written && MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return Replacement::Done;
    }
    DeleteFileA(temp.c_str());
    return Replacement::Failed;
}

}  // namespace qm::win
