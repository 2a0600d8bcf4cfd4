// The settings component against an in-memory file system and fake components:
// the line format, what loading applies, what saving writes and when, and files that
// are empty, binary, huge or unreadable.
#include "settings/auto_save.h"

#include <gtest/gtest.h>

#include <chrono>
#include <limits>
#include <map>
#include <memory>
#include <random>
#include <stdexcept>

namespace qm {
namespace {

constexpr const char* kDirectory = "C:\\Programs\\Focus\\";
constexpr const char* kFileName = "autofocus.ini";
const std::string kPath = std::string(kDirectory) + kFileName;

// The file the main window's layout values give with no driver chosen.
constexpr const char* kSevenLines = "1003->7\r\n1004->100\r\n1005->2\r\n1001->0\r\n1002->0\r\n9990->0\r\n9991->\r\n";

class FakeFiles : public SettingsFiles {
  public:
    std::map<std::string, std::string> files;
    bool readFails = false;
    bool writeFails = false;
    int writes = 0;

    std::string directory = kDirectory;
    std::string ProgramDirectory() override { return directory; }
    bool Exists(const std::string& path) override { return files.count(path) != 0; }
    std::optional<std::string> ReadAll(const std::string& path) override {
        if (readFails || !Exists(path))
            return std::nullopt;
        return files[path];
    }
    bool ReplaceAll(const std::string& path, const std::string& content) override {
        if (writeFails)
            return false;
        files[path] = content;
        ++writes;
        return true;
    }
};

class FakeComponent : public SettingsComponent {
  public:
    FakeComponent(int32_t tag, ComponentKind kind) : tag_(tag), kind_(kind) {}
    int32_t Tag() const override { return tag_; }
    ComponentKind Kind() const override { return kind_; }
    std::string Text() const override {
        if (failReading)
            throw std::runtime_error("control gone");
        return text;
    }
    void SetText(const std::string& value) override {
        Fail();
        text = value;
    }
    bool Checked() const override { return checked; }
    void SetChecked(bool value) override {
        Fail();
        checked = value;
    }
    int32_t ItemIndex() const override { return index; }
    void SetItemIndex(int32_t value) override {
        Fail();
        index = value;
    }

    std::string text;
    bool checked = false;
    int32_t index = -1;
    bool failTaking = false;
    bool failReading = false;

  private:
    void Fail() const {
        if (failTaking)
            throw std::runtime_error("control refuses the value");
    }
    int32_t tag_;
    ComponentKind kind_;
};

// A window's components in creation order, and a one-line picture of their state.
class FakeWindow {
  public:
    FakeComponent& Add(int32_t tag, ComponentKind kind) {
        owned_.push_back(std::make_unique<FakeComponent>(tag, kind));
        components.push_back(owned_.back().get());
        return *owned_.back();
    }
    FakeComponent& Edit(int32_t tag, const std::string& text) {
        FakeComponent& c = Add(tag, ComponentKind::Edit);
        c.text = text;
        return c;
    }
    FakeComponent& Check(int32_t tag, bool checked) {
        FakeComponent& c = Add(tag, ComponentKind::CheckBox);
        c.checked = checked;
        return c;
    }
    std::string Describe() const {
        std::string out;
        for (const auto& c : owned_) {
            if (!out.empty())
                out += ' ';
            out += std::to_string(c->Tag()) + '=';
            switch (c->Kind()) {
                case ComponentKind::Edit:
                    out += '"' + c->text + '"';
                    break;
                case ComponentKind::CheckBox:
                case ComponentKind::RadioButton:
                    out += c->checked ? '1' : '0';
                    break;
                default:
                    out += std::to_string(c->index);
                    break;
            }
        }
        return out;
    }

    std::vector<SettingsComponent*> components;

  private:
    std::vector<std::unique_ptr<FakeComponent>> owned_;
};

// The main window: three numeric edits, two check boxes, the log pane (an edit with
// tag 0) and a label, in creation order.
struct MainWindow : FakeWindow {
    MainWindow() {
        steps = &Edit(1003, "7");
        Edit(1004, "100");
        Edit(1005, "2");
        autoConn = &Check(1001, false);
        Check(1002, false);
        Edit(0, "");
        Add(0, ComponentKind::Other);
    }
    FakeComponent* steps;
    FakeComponent* autoConn;
};

class AutoSaveTest : public ::testing::Test {
  protected:
    AutoSaveTest() { save.Tag = 1000; }
    // Loads content into window and pictures the window and the two own values.
    std::string Load(const std::string& content, FakeWindow& target) {
        files.files[kPath] = content;
        save.LoadSettings(kFileName, target.components);
        return target.Describe() + " I=" + std::to_string(save.TagInteger) + " S=" + save.TagString;
    }
    void Save(FakeWindow& target) { save.SaveSettings(kFileName, target.components); }
    std::string Written() { return files.files[kPath]; }

    FakeFiles files;
    TAutoSave save{files};
};

const std::string kLayout = R"(1003="7" 1004="100" 1005="2" 1001=0 1002=0 0="" 0=-1)";

struct LoadCase {
    const char* name;
    std::string content;
    std::string expected;  // window picture after loading, " I=<TagInteger> S=<TagString>"
};

TEST_F(AutoSaveTest, LoadAppliesValidLinesAndSkipsTheRest) {
    const LoadCase cases[] = {
        {"empty file", "", kLayout + " I=0 S=before"},
        {"the seven lines", "1003->9\r\n1004->50\r\n1005->3\r\n1001->1\r\n1002->1\r\n9990->77\r\n9991->Sim.Focuser\r\n",
         R"(1003="9" 1004="50" 1005="3" 1001=1 1002=1 0="" 0=-1 I=77 S=Sim.Focuser)"},
        {"six characters set TagString empty", "9991->", kLayout + " I=0 S="},
        {"five characters or fewer are ignored", "9991-\r\n1003>\r\n1003-\r\n->\r\n", kLayout + " I=0 S=before"},
        {"empty value clears an edit, leaves a check box", "1001->1\r\n1003->\r\n1001->",
         R"(1003="" 1004="100" 1005="2" 1001=1 1002=0 0="" 0=-1 I=0 S=before)"},
        {"abc unchecks", "1001->1\r\n1001->abc", kLayout + " I=0 S=before"},
        {"0 unchecks", "1001->1\r\n1001->0", kLayout + " I=0 S=before"},
        {"-5 checks", "1001->-5", R"(1003="7" 1004="100" 1005="2" 1001=1 1002=0 0="" 0=-1 I=0 S=before)"},
        {"hex and blanks check", "1001->0x10\r\n1002-> 3",
         R"(1003="7" 1004="100" 1005="2" 1001=1 1002=1 0="" 0=-1 I=0 S=before)"},
        {"arrow elsewhere", "100->5\r\n10033->5\r\n1003 ->5\r\n10->3->5\r\n->->->5\r\n1->->5\r\n",
         kLayout + " I=0 S=before"},
        {"tag not a non-negative number", "abcd->5\r\n-001->5\r\n10 3->5\r\n1.03->5\r\n9.99->5",
         kLayout + " I=0 S=before"},
        {"a tag no component carries", "1099->5\r\n2000->1", kLayout + " I=0 S=before"},
        {"tag 0000 reaches tag-0 edits", "0000->hello",
         R"(1003="7" 1004="100" 1005="2" 1001=0 1002=0 0="hello" 0=-1 I=0 S=before)"},
        // The tag is the first four characters read as a whole number, so these name tag 0 as well.
        {"other spellings of tag 0", " 000->a\r\n+000->b\r\n-000->c\r\n$000->d\r\n0x00->e",
         R"(1003="7" 1004="100" 1005="2" 1001=0 1002=0 0="e" 0=-1 I=0 S=before)"},
        {"later line wins", "1003->5\r\n1003->9",
         R"(1003="9" 1004="100" 1005="2" 1001=0 1002=0 0="" 0=-1 I=0 S=before)"},
        {"blanks belong to the value", "1003-> 5 \r\n9991-> x ",
         R"(1003=" 5 " 1004="100" 1005="2" 1001=0 1002=0 0="" 0=-1 I=0 S= x )"},
        {"value may hold arrows", "1003->->x",
         R"(1003="->x" 1004="100" 1005="2" 1001=0 1002=0 0="" 0=-1 I=0 S=before)"},
        {"TagInteger read as a whole number", "9990->12\r\n9990->$10", kLayout + " I=16 S=before"},
        {"TagInteger not a number", "9990->12\r\n9990->abc", kLayout + " I=0 S=before"},
        {"CR, LF and CR LF end lines", "1003->5\r1004->6\n1005->8\r\n\n\r9991->x",
         R"(1003="5" 1004="6" 1005="8" 1001=0 1002=0 0="" 0=-1 I=0 S=x)"},
        {"LF CR is two line ends", "1003->5\n\r1004->6",
         R"(1003="5" 1004="6" 1005="2" 1001=0 1002=0 0="" 0=-1 I=0 S=before)"},
        {"NUL ends the text", std::string("1003->5\r\n1004->6\0\r\n1005->9", 25),
         R"(1003="5" 1004="6" 1005="2" 1001=0 1002=0 0="" 0=-1 I=0 S=before)"},
        {"NUL inside a line cuts it", std::string("9991->ab\0cd", 11), kLayout + " I=0 S=ab"},
    };
    for (const LoadCase& c : cases) {
        MainWindow window;
        save.TagInteger = 0;
        save.TagString = "before";
        EXPECT_EQ(Load(c.content, window), c.expected) << c.name;
    }
}

TEST_F(AutoSaveTest, LoadSetsEveryKindByItsRule) {
    FakeWindow window;
    window.Add(10, ComponentKind::ListBox);
    window.Add(10, ComponentKind::ComboBox);
    window.Add(10, ComponentKind::RadioGroup);
    window.Add(10, ComponentKind::RadioButton);
    window.Edit(10, "x");
    window.Add(10, ComponentKind::Other);
    EXPECT_EQ(Load("0010->2", window), R"(10=2 10=2 10=2 10=1 10="2" 10=-1 I=0 S=)");
    EXPECT_EQ(Load("0010->abc", window), R"(10=0 10=0 10=0 10=0 10="abc" 10=-1 I=0 S=)");
    // An empty value clears every edit with the tag and leaves the rest.
    EXPECT_EQ(Load("0010->", window), R"(10=0 10=0 10=0 10=0 10="" 10=-1 I=0 S=)");
    EXPECT_EQ(Load("0010->-1", window), R"(10=-1 10=-1 10=-1 10=1 10="-1" 10=-1 I=0 S=)");
}

TEST_F(AutoSaveTest, AComponentThatFailsEndsTheLoadAtItsLine) {
    FakeWindow window;
    window.Edit(1003, "7");
    window.Edit(1004, "100");
    window.Check(1001, false).failTaking = true;
    EXPECT_EQ(Load("1003->5\r\n9990->4\r\n1001->1\r\n1004->9\r\n9991->x\r\n", window),
              R"(1003="5" 1004="100" 1001=0 I=4 S=)");
}

TEST_F(AutoSaveTest, MissingOrUnreadableFileChangesNothing) {
    MainWindow window;
    save.LoadSettings(kFileName, window.components);
    EXPECT_EQ(window.Describe(), kLayout);

    files.readFails = true;
    EXPECT_EQ(Load("1003->5\r\n9991->x", window), kLayout + " I=0 S=");
}

TEST_F(AutoSaveTest, LoadLooksInTheProgramDirectoryOnly) {
    MainWindow window;
    files.files[kFileName] = "1003->5";  // a file in the working directory plays no part
    save.LoadSettings(kFileName, window.components);
    EXPECT_EQ(window.Describe(), kLayout);
}

TEST_F(AutoSaveTest, UnknownProgramDirectoryNeitherLoadsNorSaves) {
    MainWindow window;
    files.directory.clear();
    files.files[kFileName] = "1003->5";  // would be found relative to the working directory
    save.LoadSettings(kFileName, window.components);
    EXPECT_EQ(window.Describe(), kLayout);
    save.SaveSettings(kFileName, window.components);
    EXPECT_EQ(files.writes, 0);
}

TEST_F(AutoSaveTest, SaveWritesTheLayoutAsSevenLines) {
    MainWindow window;
    Save(window);
    EXPECT_EQ(Written(), kSevenLines);
    EXPECT_EQ(files.writes, 1);

    window.autoConn->checked = true;
    save.TagString = "ASCOM.Simulator.Focuser";
    Save(window);
    EXPECT_EQ(Written(),
              "1003->7\r\n1004->100\r\n1005->2\r\n1001->1\r\n1002->0\r\n9990->0\r\n9991->ASCOM.Simulator.Focuser\r\n");
}

struct RewriteCase {
    const char* name;
    std::string oldContent;
    bool rewritten;
};

TEST_F(AutoSaveTest, SaveWritesOnlyWhenTheTextChanges) {
    const RewriteCase cases[] = {
        {"same seven lines", kSevenLines, false},
        {"LF line ends", "1003->7\n1004->100\n1005->2\n1001->0\n1002->0\n9990->0\n9991->\n", false},
        {"CR line ends", "1003->7\r1004->100\r1005->2\r1001->0\r1002->0\r9990->0\r9991->\r", false},
        {"no end on the last line", "1003->7\r\n1004->100\r\n1005->2\r\n1001->0\r\n1002->0\r\n9990->0\r\n9991->",
         false},
        {"text after a NUL is not read", std::string(kSevenLines) + std::string("\0junk", 5), false},
        {"empty file", "", true},
        {"extra blank line", std::string(kSevenLines) + "\r\n", true},
        {"a comment", std::string("; settings\r\n") + kSevenLines, true},
        {"a tag no component carries", std::string(kSevenLines) + "1099->5\r\n", true},
        {"another order", "1001->0\r\n1003->7\r\n1004->100\r\n1005->2\r\n1002->0\r\n9990->0\r\n9991->\r\n", true},
        {"a trailing blank", "1003->7 \r\n1004->100\r\n1005->2\r\n1001->0\r\n1002->0\r\n9990->0\r\n9991->\r\n", true},
    };
    for (const RewriteCase& c : cases) {
        MainWindow window;
        files.files[kPath] = c.oldContent;
        files.writes = 0;
        Save(window);
        EXPECT_EQ(files.writes, c.rewritten ? 1 : 0) << c.name;
        EXPECT_EQ(Written(), c.rewritten ? std::string(kSevenLines) : c.oldContent) << c.name;
    }
}

TEST_F(AutoSaveTest, SaveAfterLoadOfTheSameFileDoesNotWrite) {
    MainWindow window;
    Load("1003->9\n1004->50\n1005->3\n1001->1\n1002->1\n9990->-3\n9991->Sim\n", window);
    Save(window);
    EXPECT_EQ(files.writes, 0);
}

TEST_F(AutoSaveTest, UnreadableOldFileCountsAsEmpty) {
    MainWindow window;
    files.files[kPath] = kSevenLines;
    files.readFails = true;
    Save(window);
    EXPECT_EQ(files.writes, 1);
}

TEST_F(AutoSaveTest, AWindowWithoutComponentsWritesNothing) {
    FakeWindow empty;
    Save(empty);
    EXPECT_TRUE(files.files.empty());
}

TEST_F(AutoSaveTest, AFailedWriteIsSilentAndKeepsTheOldFile) {
    MainWindow window;
    files.files[kPath] = "old";
    files.writeFails = true;
    Save(window);
    EXPECT_EQ(Written(), "old");
}

TEST_F(AutoSaveTest, AComponentThatCannotGiveItsValueLeavesTheFile) {
    MainWindow window;
    window.steps->failReading = true;
    files.files[kPath] = "old";
    Save(window);
    EXPECT_EQ(Written(), "old");
}

TEST_F(AutoSaveTest, SaveWritesByKindWithinTheTagWindow) {
    FakeWindow window;
    window.Edit(1000, "own tag");            // d = 0
    window.Edit(1100, "too far");            // d = 100
    window.Edit(999, "below");               // d = -1
    window.Edit(1099, " blanks kept ");      // d = 99
    window.Edit(1001, "%NoDaTa%");           // the marker itself gets no line
    window.Edit(1002, "%nodata%");           // only the exact marker
    window.Add(1003, ComponentKind::Other);  // a kind without a value
    window.Add(1004, ComponentKind::RadioButton).checked = true;
    window.Add(1005, ComponentKind::ListBox);
    window.Add(1006, ComponentKind::ComboBox).index = 3;
    window.Add(1007, ComponentKind::RadioGroup).index = 2;
    window.Check(1008, true);
    save.TagInteger = -42;
    save.TagString = " id ";
    Save(window);
    EXPECT_EQ(Written(),
              "1099-> blanks kept \r\n1002->%nodata%\r\n1004->1\r\n1005->-1\r\n1006->3\r\n1007->2\r\n1008->1\r\n"
              "9990->-42\r\n9991-> id \r\n");
}

TEST_F(AutoSaveTest, TagsFarFromTheOwnTagDoNotWrapIntoTheWindow) {
    FakeWindow window;
    window.Edit(std::numeric_limits<int32_t>::min(), "wraps");  // 32-bit difference would wrap to 48
    window.Edit(std::numeric_limits<int32_t>::max(), "top");    // 47 above
    save.Tag = 2147483600;
    Save(window);
    EXPECT_EQ(Written(), "2147483647->top\r\n9990->0\r\n9991->\r\n");
}

TEST_F(AutoSaveTest, SavedValuesReadBack) {
    MainWindow window;
    window.steps->text = " 12 ";
    window.autoConn->checked = true;
    save.TagString = "Focuser -> 2";
    save.TagInteger = 0x7FFFFFFF;
    Save(window);

    MainWindow restored;
    save.TagString.clear();
    save.TagInteger = 0;
    save.LoadSettings(kFileName, restored.components);
    EXPECT_EQ(restored.Describe(), window.Describe());
    EXPECT_EQ(save.TagString, "Focuser -> 2");
    EXPECT_EQ(save.TagInteger, 0x7FFFFFFF);
}

// Files no writer of this program makes: nothing breaks, the lines before the
// trouble apply, and a large file loads in one pass (the bound is loose on purpose:
// it only catches work that grows with the square of the size).
TEST_F(AutoSaveTest, HostileFilesLoadSafely) {
    constexpr size_t kHuge = 50u * 1024 * 1024;
    constexpr size_t kLongLine = 100000;
    constexpr auto kLooseBound = std::chrono::seconds(10);

    std::mt19937 random(7);
    std::string binary(1 << 20, '\0');
    for (char& c : binary)
        c = static_cast<char>(random() & 0xFF);

    std::string longLines;
    for (int i = 0; i < 100; ++i)
        longLines += std::string(kLongLine, i % 2 ? '-' : '>') + "\r\n";
    std::string arrows;
    for (size_t i = 0; i < kLongLine / 2; ++i)
        arrows += "->";

    struct Hostile {
        const char* name;
        std::string content;
        std::string steps;  // EdSteps' text afterwards
    };
    const Hostile cases[] = {
        {"binary", binary, "7"},
        {"valid line, then binary", "1003->5\r\n" + binary, "5"},
        {"lines of 100,000 characters", "1003->5\r\n" + longLines + arrows + "\r\n1004->1", "5"},
        {"a 100,000-character value", "1003->" + std::string(kLongLine, '9'), std::string(kLongLine, '9')},
        {"50 MB without a line end", std::string(kHuge, 'x'), "7"},
        {"50 MB of CR", std::string(kHuge, '\r'), "7"},
        {"50 MB of short lines",
         [] {
             std::string s;
             s.reserve(kHuge + 16);
             while (s.size() < kHuge)
                 s += "1003->8\r\n0000->\n-\r->\r\n";
             return s;
         }(),
         "8"},
    };
    for (const Hostile& c : cases) {
        MainWindow window;
        auto start = std::chrono::steady_clock::now();
        Load(c.content, window);
        auto elapsed = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(window.steps->text, c.steps) << c.name;
        EXPECT_LT(elapsed, kLooseBound) << c.name;
    }
}

TEST_F(AutoSaveTest, Huge50MegabyteValueIsKept) {
    MainWindow window;
    std::string value(50u * 1024 * 1024, 'v');
    Load("9991->" + value, window);
    EXPECT_EQ(save.TagString.size(), value.size());
}

}  // namespace
}  // namespace qm
