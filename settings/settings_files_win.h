// The settings component's file operations on Windows: the reading of
// SettingsReaderWin (settings_reader_win.h) and whole-file replacing with the
// single-byte ("A") functions. A path too long for them cannot be written.
//
// Replacing does not write over the old file: the new text goes to a temporary file
// beside it, reaches the disk, and then takes the old file's place in one rename, so
// a failure at any step leaves the old file exactly as it was. The replacement keeps
// the old file's flags (hidden, system). Only where the directory refuses the
// temporary file (access denied) is the existing file written in place, in steps
// ordered so that a crash leaves it reading as the old settings or the new ones
// (settings/in_place_rewrite.h); any other failure to create the temporary file fails
// the save and leaves the file alone. A read-only file is never written.
//
// Temporary files carry the writing process's id in their names. A replace first
// removes those that a killed writer left behind: of a process that is gone, or older
// than any replace takes, never another running program's file on its way to its rename.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/raii_win.h"
#include "settings/settings_reader_win.h"

namespace qm::win {

class SettingsFilesWin : public SettingsReaderWin {
  public:
    bool ReplaceAll(const std::string& path, const std::string& content) override;

    enum class Replacement {
        Done,
        Refused,  // the directory refuses the temporary file (access denied); the file is as it was
        Failed,   // any other failure; the file is as it was
    };
    // ReplaceAll's replacement through a temporary file and a rename, without its
    // in-place fallback, for files that must never be rewritten in place.
    Replacement ReplaceThroughTemporary(const std::string& path, std::string_view content);

  protected:
    // Creates the new, unshared temporary file that a replace writes first; empty
    // with the system's error code when it cannot. Tests stand in a directory that
    // refuses it, or another failure.
    virtual KernelHandle CreateTemporaryFile(const std::string& tempPath);
};

}  // namespace qm::win
