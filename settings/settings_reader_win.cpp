// Reading the settings component's files on Windows: see settings_reader_win.h.
#include "settings/settings_reader_win.h"

#include <algorithm>
#include <cstdint>
#include <new>

#include "common/raii_win.h"

namespace qm::win {

namespace {

// The longest path the system can give for a module (the "\\?\" limit).
constexpr size_t kMaxModulePath = 32768;
// ReadFile moves at most this much per call.
constexpr DWORD kReadChunk = 1u << 20;

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

}  // namespace

std::optional<std::string> ReadToEnd(HANDLE file) {
    try {
        std::string content;
        LARGE_INTEGER size{};
        if (GetFileSizeEx(file, &size) && size.QuadPart > 0 &&
            static_cast<uint64_t>(size.QuadPart) < content.max_size()) {
            content.reserve(static_cast<size_t>(size.QuadPart));
        }
        // Read to the end rather than trusting the size, which may change meanwhile.
        for (;;) {
            size_t used = content.size();
            content.resize(used + kReadChunk);
            DWORD read = 0;
            if (!ReadFile(file, content.data() + used, kReadChunk, &read, nullptr))
                return std::nullopt;
            content.resize(used + read);
            if (read == 0)
                return content;
        }
    } catch (const std::bad_alloc&) {
        return std::nullopt;  // larger than memory: as good as unreadable
    }
}

std::string SettingsReaderWin::ProgramDirectory() {
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

bool SettingsReaderWin::Exists(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::optional<std::string> SettingsReaderWin::ReadAll(const std::string& path) {
    // Others may go on reading and writing: the settings are read once, as they are.
    // Nor does the read stop another program renaming a new file over this one.
    KernelHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return std::nullopt;
    return ReadToEnd(file.get());
}

bool SettingsReaderWin::ReplaceAll(const std::string&, const std::string&) { return false; }

}  // namespace qm::win
