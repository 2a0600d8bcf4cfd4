// Win32 file operations of the settings component: see settings_files_win.h.
#include "settings/settings_files_win.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <new>

#include "common/raii_win.h"

namespace qm::win {

namespace {

// The longest path the system can give for a module (the "\\?\" limit).
constexpr size_t kMaxModulePath = 32768;
// ReadFile and WriteFile move at most this much per call.
constexpr DWORD kChunk = 1u << 20;
// Attempts to find an unused temporary file name before giving up.
constexpr int kTempNameAttempts = 100;

std::string ModuleFileName() {
    std::string buffer(MAX_PATH, '\0');
    for (;;) {
        DWORD length = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return {};
        // A full buffer means the name was cut short: try again with more room.
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        if (buffer.size() >= kMaxModulePath)
            return {};
        buffer.resize(std::min(buffer.size() * 2, kMaxModulePath));
    }
}

// A unique name for a temporary file beside path.
std::string TempNameBeside(const std::string& path) {
    static unsigned counter = 0;
    char suffix[48];
    wsprintfA(suffix, ".%lx-%lx-%x.tmp", GetCurrentProcessId(), GetTickCount(), counter++);
    return path + suffix;
}

bool WriteAll(HANDLE file, const std::string& content) {
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

}  // namespace

std::string SettingsFilesWin::ProgramDirectory() {
    std::string file = ModuleFileName();
    // Walk by characters, not bytes: in a double-byte code page the second byte of a
    // character may have the code of a backslash.
    size_t end = 0;
    for (const char* p = file.c_str(); *p; p = CharNextA(p)) {
        if (*p == '\\' || *p == '/')
            end = static_cast<size_t>(p - file.c_str()) + 1;
    }
    return file.substr(0, end);
}

bool SettingsFilesWin::Exists(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::optional<std::string> SettingsFilesWin::ReadAll(const std::string& path) {
    // Others may go on reading and writing: the settings are read once, as they are.
    KernelHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return std::nullopt;
    try {
        std::string content;
        LARGE_INTEGER size{};
        if (GetFileSizeEx(file.get(), &size) && size.QuadPart > 0 &&
            static_cast<uint64_t>(size.QuadPart) < content.max_size()) {
            content.reserve(static_cast<size_t>(size.QuadPart));
        }
        // Read to the end rather than trusting the size, which may change meanwhile.
        for (;;) {
            size_t used = content.size();
            content.resize(used + kChunk);
            DWORD read = 0;
            if (!ReadFile(file.get(), content.data() + used, kChunk, &read, nullptr))
                return std::nullopt;
            content.resize(used + read);
            if (read == 0)
                return content;
        }
    } catch (const std::bad_alloc&) {
        return std::nullopt;  // larger than memory: as good as unreadable
    }
}

namespace {

// Removes temporary files that an earlier save left behind when the program was killed
// between writing its temporary file and renaming it. A save still under way in another
// instance holds its file open without sharing, so that one cannot be deleted here.
void RemoveLeftoverTemps(const std::string& path) {
    const std::string pattern = path + ".*.tmp";
    const size_t slash = path.find_last_of("\\/:");
    const std::string directory = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileA((directory + found.cFileName).c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

}  // namespace

bool SettingsFilesWin::ReplaceAll(const std::string& path, const std::string& content) {
    // Windows refuses to replace a read-only file; say so before writing anything,
    // and the same on every system.
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
        return false;
    }
    RemoveLeftoverTemps(path);
    std::string temp;
    KernelHandle file;
    for (int attempt = 0; attempt < kTempNameAttempts && !file; ++attempt) {
        temp = TempNameBeside(path);
        file.reset(CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file && GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
    }
    if (!file)
        return false;

    bool written = WriteAll(file.get(), content) && FlushFileBuffers(file.get());
    written = file.reset() && written;
    // The rename is the one step that changes what the old name holds; the system
    // refuses it for a file that is open without delete sharing.
    if (written && MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    DeleteFileA(temp.c_str());
    return false;
}

}  // namespace qm::win
