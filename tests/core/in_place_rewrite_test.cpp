// The in-place rewrite of the settings file, stopped at every step and inside every
// write as a killed process or a power cut would stop it, and read back by the
// settings component itself: the file must read as the old settings or the new ones.
// Also a step that fails: the file is put back, or reads as the new settings.
#include "settings/in_place_rewrite.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "settings/auto_save.h"
#include "settings/memory_component.h"

namespace qm {
namespace {

// A file in memory whose operations stop for good at one point: operation number
// stopAt writes only its first partialBytes bytes (a flush or a cut does nothing),
// and it and every later one then fail without effect, as if the process had died.
// With failOnce, only that operation fails and the later ones work again.
class StoppingFile : public RewritableFile {
  public:
    StoppingFile(std::string content, size_t stopAt, size_t partialBytes, bool failOnce = false)
        : bytes(std::move(content)), stopAt_(stopAt), partialBytes_(partialBytes), failOnce_(failOnce) {}

    bool WriteAt(uint64_t offset, std::string_view data) override {
        if (Stops()) {
            stoppedWriteSize = data.size();
            Write(offset, data.substr(0, std::min(partialBytes_, data.size())));
            return false;
        }
        if (stopped_)
            return false;
        Write(offset, data);
        return true;
    }
    bool Flush() override { return !Stops() && !stopped_; }
    bool SetLength(uint64_t length) override {
        if (Stops() || stopped_)
            return false;
        bytes.resize(length, '\0');
        return true;
    }

    std::string bytes;
    size_t operations = 0;        // how many were asked for
    size_t stoppedWriteSize = 0;  // the length of the write that stopped, if a write did

  private:
    // Counts the operation; true when it is the one that stops.
    bool Stops() {
        size_t index = operations++;
        if (index != stopAt_)
            return false;
        stopped_ = !failOnce_;
        return true;
    }
    void Write(uint64_t offset, std::string_view data) {
        if (bytes.size() < offset + data.size())
            bytes.resize(offset + data.size(), '\0');  // a grown file reads zeros where nothing was written
        bytes.replace(offset, data.size(), data);
    }
    size_t stopAt_, partialBytes_;
    bool failOnce_;
    bool stopped_ = false;
};

// One file, as the settings component reads it.
class OneFile : public SettingsFiles {
  public:
    explicit OneFile(std::string content) : content_(std::move(content)) {}
    std::string ProgramDirectory() override { return "C:\\Focus\\"; }
    bool Exists(const std::string&) override { return true; }
    std::optional<std::string> ReadAll(const std::string&) override { return content_; }
    bool ReplaceAll(const std::string&, const std::string&) override { return false; }

  private:
    std::string content_;
};

// What the main window holds after loading content into its layout values: the
// numeric edits, the check boxes, the log pane (tag 0, not saved) and the own values.
std::string ReadsAs(const std::string& content, bool withLogPane = true) {
    std::vector<std::unique_ptr<MemoryComponent>> owned;
    std::vector<SettingsComponent*> window;
    auto add = [&](int32_t tag, ComponentKind kind, const char* text) {
        owned.push_back(std::make_unique<MemoryComponent>(tag, kind));
        owned.back()->SetText(text);
        window.push_back(owned.back().get());
    };
    add(1003, ComponentKind::Edit, "7");
    add(1004, ComponentKind::Edit, "100");
    add(1005, ComponentKind::Edit, "2");
    add(1001, ComponentKind::CheckBox, "");
    add(1002, ComponentKind::CheckBox, "");
    add(0, ComponentKind::Edit, "");
    OneFile file(content);
    TAutoSave save(file);
    save.Tag = 1000;
    save.LoadSettings("autofocus.ini", window);
    std::string picture;
    for (const auto& c : owned) {
        if (c->Tag() == 0 && !withLogPane)
            continue;
        const bool box = c->Kind() == ComponentKind::CheckBox;
        picture +=
            std::to_string(c->Tag()) + "=" + (box ? std::string(c->Checked() ? "1" : "0") : '"' + c->Text() + '"');
        picture += " ";
    }
    return picture + "9990=" + std::to_string(save.TagInteger) + " 9991=\"" + save.TagString + "\"";
}

std::string Lines(std::initializer_list<const char*> lines) {
    std::string text;
    for (const char* line : lines)
        text += std::string(line) + "\r\n";
    return text;
}

const std::string kDriver = "ASCOM.Simulator.Focuser";

struct Case {
    const char* what;
    std::string old, fresh;
    // The old text has lines for the log pane, which the save does not write: those
    // may read on until the rewrite is done, so only the saved values are compared.
    bool oldHasUnsavedLines = false;
};

std::vector<Case> Cases() {
    const std::string seven = Lines({"1003->7", "1004->100", "1005->2", "1001->0", "1002->0", "9990->0", "9991->"});
    const std::string ticked =
        Lines({"1003->9", "1004->250", "1005->3", "1001->1", "1002->1", "9990->0", ("9991->" + kDriver).c_str()});
    std::string nulTail = seven + std::string("\0", 1) + Lines({"1001->1", "1003->49", "1004->999", "1002->1"}) +
                          std::string(300, 'x') + Lines({"1005->9"});
    return {
        // The old file's hand-added line must not come back from a tail.
        {"shorter", ticked + "1001->1\r\n", seven},
        {"longer", seven, ticked},
        {"equal length", Lines({"1001->0", "9991->"}), Lines({"1001->1", "9991->"})},
        {"emptied", ticked, ""},
        {"from empty", "", ticked},
        {"old without a last line ending", Lines({"1003->9", "1001->1"}) + "9991->Old", seven},
        {"old with bytes after a NUL", nulTail, ticked},
        {"old with LF line ends", "1001->1\n1003->21\n9991->x\n", seven},
        {"new text with a NUL inside", ticked, seven + std::string("\0", 1) + "1001->1\r\n"},
        {"old lines the save does not write", "0000->note\r\n" + ticked + "0000->later\r\n", seven, true},
    };
}

// Runs the rewrite to the end.
StoppingFile Complete(const Case& c) {
    StoppingFile file(c.old, SIZE_MAX, 0);
    EXPECT_TRUE(RewriteInPlace(file, c.old, c.fresh)) << c.what;
    return file;
}

TEST(InPlaceRewriteTest, CompletedRewriteHoldsExactlyTheNewText) {
    for (const Case& c : Cases())
        EXPECT_TRUE(Complete(c).bytes == c.fresh) << c.what;
}

TEST(InPlaceRewriteTest, StoppedAnywhereTheFileReadsAsTheOldOrTheNewSettings) {
    for (const Case& c : Cases()) {
        const bool all = !c.oldHasUnsavedLines;
        const std::string asOld = ReadsAs(c.old, all), asNew = ReadsAs(c.fresh, all);
        ASSERT_NE(asOld, asNew) << c.what;
        const size_t operations = Complete(c).operations;
        ASSERT_GE(operations, 2u) << c.what;
        int readAsOld = 0, readAsNew = 0;
        for (size_t stopAt = 0; stopAt <= operations; ++stopAt) {
            // Every prefix of the stopped write, from none of it to all of it.
            for (size_t partial = 0;; ++partial) {
                StoppingFile file(c.old, stopAt, partial);
                EXPECT_FALSE(RewriteInPlace(file, c.old, c.fresh) && stopAt < operations) << c.what;
                const std::string reads = ReadsAs(file.bytes, all);
                if (reads == asOld) {
                    ++readAsOld;
                } else if (reads == asNew) {
                    ++readAsNew;
                } else {
                    ADD_FAILURE() << c.what << ": stopped at operation " << stopAt << " after " << partial
                                  << " bytes, reads as\n  " << reads << "\nold " << asOld << "\nnew " << asNew;
                    break;
                }
                if (partial >= file.stoppedWriteSize)
                    break;
            }
        }
        // Both ends are reached: the stops before anything happened and after all of it.
        EXPECT_GT(readAsOld, 0) << c.what;
        EXPECT_GT(readAsNew, 0) << c.what;
    }
}

TEST(InPlaceRewriteTest, AFailedStepPutsTheOldFileBackOrLeavesTheNewSettings) {
    for (const Case& c : Cases()) {
        const bool all = !c.oldHasUnsavedLines;
        const size_t operations = Complete(c).operations;
        for (size_t failAt = 0; failAt < operations; ++failAt) {
            // The failing write gets a part of its bytes out, as a full disk may allow.
            for (size_t partial : {size_t{0}, size_t{1}, size_t{5}}) {
                StoppingFile file(c.old, failAt, partial, /*failOnce=*/true);
                EXPECT_FALSE(RewriteInPlace(file, c.old, c.fresh)) << c.what << " failing at " << failAt;
                const std::string reads = ReadsAs(file.bytes, all);
                if (reads == ReadsAs(c.old, all)) {
                    EXPECT_TRUE(file.bytes == c.old) << c.what << ": not put back after failing at " << failAt;
                } else {
                    EXPECT_EQ(reads, ReadsAs(c.fresh, all)) << c.what << " failing at " << failAt;
                }
                if (failAt == 0)  // the first write, where a full disk stops it
                    EXPECT_TRUE(file.bytes == c.old) << c.what;
            }
        }
    }
}

}  // namespace
}  // namespace qm
