// The simulated focuser's state in named shared memory instead of focuser.state: with
// QM_SIM_STATE_MAPPING=NAME (and no steering directory) the focuser publishes its state
// text there after every call, and SimHost.exe --state-mapping NAME reads it, so that a
// timing can run the simulator and the host without any file work. A sequence number,
// odd while the text is being written, lets the reader skip half-written texts.
// Header-only: the simulated focuser and the simulated host both use it.
#pragma once

#include <windows.h>

#include <cstring>
#include <optional>
#include <string>

namespace qm::sim {

struct SharedStateBlock {
    volatile LONG sequence;
    char text[4092];
};

// Writes the text into the mapping NAME, creating it on first use; the mapping stays
// open for the rest of the process, so a reader finds it between two calls.
inline void PublishState(const std::string& name, const std::string& text) {
    static HANDLE mapping = nullptr;
    static SharedStateBlock* block = nullptr;
    if (!block) {
        mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(SharedStateBlock),
                                     name.c_str());
        if (!mapping)
            return;
        block = static_cast<SharedStateBlock*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(SharedStateBlock)));
        if (!block)
            return;
    }
    const size_t length = text.size() < sizeof block->text - 1 ? text.size() : sizeof block->text - 1;
    InterlockedIncrement(&block->sequence);  // odd: being written
    std::memcpy(block->text, text.data(), length);
    block->text[length] = '\0';
    InterlockedIncrement(&block->sequence);  // even: whole
}

// The text last published in the mapping NAME, or nothing when there is none yet or it
// was being written at the moment (the caller tries again).
inline std::optional<std::string> ReadPublishedState(const std::string& name) {
    HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str());
    if (!mapping)
        return std::nullopt;
    std::optional<std::string> result;
    if (auto* block = static_cast<const SharedStateBlock*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0))) {
        const LONG before = block->sequence;
        MemoryBarrier();
        char copy[sizeof block->text];
        std::memcpy(copy, block->text, sizeof copy);
        copy[sizeof copy - 1] = '\0';
        MemoryBarrier();
        if (before % 2 == 0 && before == block->sequence && before != 0)
            result = std::string(copy);
        UnmapViewOfFile(block);
    }
    CloseHandle(mapping);
    return result;
}

}  // namespace qm::sim
