// Rewriting the settings file in place, for a directory that lets the file be written
// but refuses new files beside it, so that no temporary file can take its place. The
// steps are ordered so that a process killed (or a power cut) after any of them, or in
// the middle of any of its writes, leaves a file that the settings reader reads either
// as the old text or, for every value the save writes, as the new one; never the new
// values with old lines read after them. The argument is in in_place_rewrite.cpp.
#pragma once

#include <cstdint>
#include <string_view>

namespace qm {

// An open file as the in-place rewrite uses it. Every failure is a false result.
class RewritableFile {
  public:
    virtual ~RewritableFile() = default;
    // Writes bytes at offset, growing the file when they reach past its end.
    virtual bool WriteAt(uint64_t offset, std::string_view bytes) = 0;
    // Returns once everything written so far is on the disk: no later write may reach
    // the disk before an earlier one.
    virtual bool Flush() = 0;
    // Cuts the file to length (or grows it with zero bytes).
    virtual bool SetLength(uint64_t length) = 0;
};

// Replaces the content of file, which holds oldContent (all of it, to its end), with
// newContent. True when every step succeeded and the file holds exactly newContent.
// False when a step failed: before the switch the file is put back to oldContent
// byte for byte; after it (see the .cpp) the file reads as the new settings but may
// still hold more than newContent, so the next save, whose text then differs, writes
// it again.
bool RewriteInPlace(RewritableFile& file, std::string_view oldContent, std::string_view newContent);

}  // namespace qm
