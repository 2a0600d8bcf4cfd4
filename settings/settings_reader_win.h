// Reading the settings component's files on Windows: the program's directory from the
// module file name and whole-file reading with the single-byte ("A") functions, since
// file names and text are in the system code page. Paths are limited as the "A"
// functions limit them (MAX_PATH unless the system allows more); a path too long for
// them reads as a missing file.
//
// A reader never writes: the driver check reads the user's settings with it and leaves
// them exactly as they are. SettingsFilesWin (settings_files_win.h) adds the writing.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "settings/auto_save.h"

namespace qm::win {

class SettingsReaderWin : public SettingsFiles {
  public:
    // Full path of the running executable without its file name, ending in a
    // backslash; empty when the system cannot tell it.
    std::string ProgramDirectory() override;
    // True when a file (not a directory) exists at path.
    bool Exists(const std::string& path) override;
    std::optional<std::string> ReadAll(const std::string& path) override;
    // Writes nothing and says so.
    bool ReplaceAll(const std::string& path, const std::string& content) override;
};

// The rest of an open file from its current position, or nothing when it cannot be
// read (or is larger than memory).
std::optional<std::string> ReadToEnd(HANDLE file);

}  // namespace qm::win
