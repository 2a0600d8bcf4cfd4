// Files of the steering directory named by QM_SIM_DIR (see sim_env_win.h).
#include "tools/sim_ascom/sim_env_win.h"

#include <algorithm>

#include "tools/sim_ascom/state_mapping_win.h"

namespace qm::sim {

namespace {

std::string PathOf(const char* name) {
    std::string dir = SimDirectory();
    if (dir.empty())
        return {};
    if (dir.back() != '\\' && dir.back() != '/')
        dir += '\\';
    return dir + name;
}

}  // namespace

std::string SimDirectory() {
    char buffer[MAX_PATH * 2];
    DWORD length = GetEnvironmentVariableA("QM_SIM_DIR", buffer, sizeof buffer);
    if (length == 0 || length >= sizeof buffer)
        return {};
    return std::string(buffer, length);
}

SimConfig LoadConfig() {
    if (SimDirectory().empty()) {
        char buffer[1024];
        const DWORD length = GetEnvironmentVariableA("QM_SIM_SETTINGS", buffer, sizeof buffer);
        if (length == 0 || length >= sizeof buffer)
            return SimConfig{};
        std::string text(buffer, length);
        std::replace(text.begin(), text.end(), ';', '\n');
        return SimConfig::Parse(text);
    }
    auto text = ReadSimFile("sim.ini");
    return text ? SimConfig::Parse(*text) : SimConfig{};
}

std::optional<std::string> ReadSimFile(const char* name) {
    std::string path = PathOf(name);
    if (path.empty())
        return std::nullopt;
    FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid())
        return std::nullopt;
    std::string text;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr) && got > 0)
        text.append(chunk, got);
    return text;
}

void AppendCallLog(const std::string& line) {
    std::string path = PathOf("calls.log");
    if (path.empty())
        return;
    // FILE_APPEND_DATA makes each write land at the end even with several writers.
    FileHandle file(CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid())
        return;
    std::string text = line + "\r\n";
    DWORD written = 0;
    WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void ReplaceSimFile(const char* name, const std::string& text) {
    std::string path = PathOf(name);
    if (path.empty()) {
        // No steering directory: the state may go to shared memory (state_mapping_win.h).
        char mapping[256];
        const DWORD length = GetEnvironmentVariableA("QM_SIM_STATE_MAPPING", mapping, sizeof mapping);
        if (length > 0 && length < sizeof mapping && std::string(name) == "focuser.state")
            PublishState(std::string(mapping, length), text);
        return;
    }
    std::string temporary = path + "." + std::to_string(GetCurrentProcessId()) + ".tmp";
    bool written = false;
    {
        FileHandle file(
            CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid())
            return;
        DWORD count = 0;
        written = WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &count, nullptr) &&
                  count == text.size();
    }
    if (!written || !MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING))
        DeleteFileA(temporary.c_str());
}

}  // namespace qm::sim
