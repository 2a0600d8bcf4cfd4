// The in-place rewrite of the settings file: see in_place_rewrite.h.
//
// What the reader does with a file decides the order. It reads the text before the
// first NUL byte, skips lines too short to carry a tag (empty lines among them), and
// applies the lines in file order, a later line for a tag over an earlier one. The
// plain way, writing the new text over the old one and cutting the file, leaves after
// a crash between the write and the cut the new lines followed by the tail of the
// old text, whose lines then win; a write torn in the middle does the same. Instead:
//
//   r = where the old text stops reading (its first NUL, or its end);
//   c = max(r, n) + 1, where the new text of n bytes will be staged.
//
//   1. Stage: write at r a NUL, line feeds up to c, the new text and a NUL; flush.
//      The byte at r was a NUL or the end of the file (a grown file reads zero bytes
//      where nothing was written), so whatever part of this write reaches the disk,
//      in whatever order, the file still reads as the old text, exactly.
//   2. Switch: write one line feed over the NUL at r; flush. One byte, on the disk or
//      not. From here the file reads as the old lines, empty lines, then the whole new
//      text up to its NUL. Every value the save writes has a line of its own in the
//      new text, and all of them come after every old line, so each takes its new
//      value; the two own values too, which the new text always holds.
//   3. Overwrite: write the new text and line feeds up to c at the start; flush. This
//      writes in front of the staged copy only, so a write torn anywhere leaves new
//      bytes, maybe a broken line, old bytes, empty lines, and then the staged copy,
//      still whole and still read last.
//   4. Cut the file to the new text; flush.
//
// So a crash before the switch leaves the old settings; a crash after it the new value
// of everything the save writes. Until the overwrite is done, old lines for tags that
// the new text has no line for (a tag no component carries, a tag outside the saved
// range, an edit holding the no-data text) still apply as they did before the save.
// A new text that reads as nothing (empty, or a NUL first) switches with one NUL at
// the start instead, which reads as nothing at once.
//
// Only the stage grows the file (to about twice the larger text), so a full disk stops
// the save while the file still reads as the old text; it is then put back as it was.
#include "settings/in_place_rewrite.h"

#include <algorithm>
#include <string>

namespace qm {

namespace {

constexpr char kNul = '\0';
constexpr char kLineFeed = '\n';

// How far a text reads: up to its first NUL byte.
uint64_t ReadableLength(std::string_view content) {
    size_t nul = content.find(kNul);
    return nul == std::string_view::npos ? content.size() : nul;
}

// Puts back the bytes from readEnd on and the old length; the text before readEnd was
// never touched. Best effort: those bytes lie past a NUL and never read.
void RestoreTail(RewritableFile& file, std::string_view oldContent, uint64_t readEnd) {
    file.WriteAt(readEnd, oldContent.substr(readEnd));
    file.SetLength(oldContent.size());
    file.Flush();
}

// A new text that reads as nothing: a NUL at the start makes the old one read as
// nothing too, in one byte; then the rest is written behind it and the file cut.
bool RewriteToUnreadable(RewritableFile& file, std::string_view oldContent, std::string_view newContent) {
    if (!oldContent.empty() && oldContent.front() != kNul) {
        if (!file.WriteAt(0, std::string_view(&kNul, 1)) || !file.Flush()) {
            file.WriteAt(0, oldContent.substr(0, 1));
            file.Flush();
            return false;
        }
    }
    bool written = newContent.empty() || (file.WriteAt(0, newContent) && file.Flush());
    return written && file.SetLength(newContent.size()) && file.Flush();
}

}  // namespace

bool RewriteInPlace(RewritableFile& file, std::string_view oldContent, std::string_view newContent) {
    if (ReadableLength(newContent) == 0)
        return RewriteToUnreadable(file, oldContent, newContent);

    const uint64_t readEnd = ReadableLength(oldContent);
    const uint64_t newSize = newContent.size();
    const uint64_t copyAt = std::max(readEnd, newSize) + 1;

    // 1. Stage the new text behind a NUL that keeps the old text the whole reading.
    std::string stage;
    stage.reserve(copyAt - readEnd + newSize + 1);
    stage.push_back(kNul);
    stage.append(copyAt - readEnd - 1, kLineFeed);
    stage.append(newContent);
    stage.push_back(kNul);
    if (!file.WriteAt(readEnd, stage) || !file.Flush()) {
        RestoreTail(file, oldContent, readEnd);
        return false;
    }

    // 2. Switch: the NUL becomes a line break and the staged copy reads after the old text.
    if (!file.WriteAt(readEnd, std::string_view(&kLineFeed, 1)) || !file.Flush()) {
        file.WriteAt(readEnd, std::string_view(&kNul, 1));
        RestoreTail(file, oldContent, readEnd);
        return false;
    }

    // 3. The new text over the old one, in front of the copy.
    std::string front(newContent);
    front.append(copyAt - newSize, kLineFeed);
    if (!file.WriteAt(0, front) || !file.Flush())
        return false;

    // 4. Cut the empty lines and the copy away.
    return file.SetLength(newSize) && file.Flush();
}

}  // namespace qm
