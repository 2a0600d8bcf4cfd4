// The settings component's Win32 side with real files and real controls: the
// program's directory, whole-file reading, replacing a file in one step (keeping its
// flags, and keeping it whole when it is read-only or held open), writing it in place
// where the directory refuses new files and leaving it alone on any other failure to
// make the temporary file, and the control adapters, alone and driven by a load and a
// save.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/raii_win.h"
#include "settings/auto_save.h"
#include "settings/components_win.h"
#include "settings/settings_files_win.h"

namespace qm::win {
namespace {

// A scratch directory of its own for each test, removed with everything in it.
class ScratchDirectory {
  public:
    ScratchDirectory() {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        static int count = 0;
        path_ = std::string(temp) + "qm_settings_" + std::to_string(GetCurrentProcessId()) + "_" +
                std::to_string(count++) + "\\";
        CreateDirectoryA(path_.c_str(), nullptr);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    ~ScratchDirectory() { Remove(path_); }
    const std::string& path() const { return path_; }

    // Names of the entries in directory, "." and ".." left out.
    static std::vector<std::string> Entries(const std::string& directory) {
        std::vector<std::string> names;
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((directory + "*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            return names;
        do {
            std::string name = found.cFileName;
            if (name != "." && name != "..")
                names.push_back(name);
        } while (FindNextFileA(search, &found));
        FindClose(search);
        return names;
    }

  private:
    static void Remove(const std::string& directory) {
        for (const std::string& name : Entries(directory)) {
            std::string full = directory + name;
            DWORD attributes = GetFileAttributesA(full.c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
                Remove(full + "\\");
            } else {
                SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(full.c_str());
            }
        }
        RemoveDirectoryA(directory.c_str());
    }
    std::string path_;
};

void WriteFileText(const std::string& path, const std::string& text) {
    KernelHandle file(
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
    ASSERT_EQ(written, text.size());
}

class SettingsFilesWinTest : public ::testing::Test {
  protected:
    std::string FileText(const std::string& path) { return files.ReadAll(path).value_or("<unreadable>"); }

    SettingsFilesWin files;
    ScratchDirectory scratch;
};

TEST_F(SettingsFilesWinTest, ProgramDirectoryIsTheExecutablesDirectory) {
    char module[MAX_PATH * 4];
    DWORD length = GetModuleFileNameA(nullptr, module, sizeof module);
    ASSERT_GT(length, 0u);
    std::string directory = files.ProgramDirectory();
    ASSERT_FALSE(directory.empty());
    EXPECT_EQ(directory.back(), '\\');
    std::string exe(module, length);
    EXPECT_EQ(exe.substr(0, directory.size()), directory);
    EXPECT_EQ(exe.find('\\', directory.size()), std::string::npos);
    EXPECT_TRUE(files.Exists(exe));
    EXPECT_FALSE(files.Exists(directory));  // a directory is no file
}

TEST_F(SettingsFilesWinTest, MissingFilesAreNotThereAndGiveNothing) {
    EXPECT_FALSE(files.Exists(scratch.path() + "absent.ini"));
    EXPECT_FALSE(files.ReadAll(scratch.path() + "absent.ini").has_value());
    EXPECT_FALSE(files.ReadAll(scratch.path()).has_value());
    EXPECT_FALSE(files.ReadAll(scratch.path() + "no\\such\\dir\\a.ini").has_value());
}

TEST_F(SettingsFilesWinTest, ReplaceAllWritesEveryByteAndLeavesNoTemporaryFile) {
    std::string path = scratch.path() + "autofocus.ini";
    std::string big(3 * 1024 * 1024 + 17, 'b');
    big[5] = '\0';
    big[big.size() - 1] = '\xFF';
    const std::string contents[] = {"1003->7\r\n", "", big, "9991->\r\n"};
    for (const std::string& content : contents) {
        ASSERT_TRUE(files.ReplaceAll(path, content));
        EXPECT_TRUE(files.Exists(path));
        EXPECT_TRUE(FileText(path) == content) << "size " << content.size();
        EXPECT_EQ(ScratchDirectory::Entries(scratch.path()), std::vector<std::string>{"autofocus.ini"});
    }
}

// The reader the driver check uses reads what the writer wrote and never writes itself:
// the user's settings stay exactly as they are, and no file appears beside them.
TEST_F(SettingsFilesWinTest, ReaderReadsButNeverWrites) {
    SettingsReaderWin reader;
    const std::string path = scratch.path() + "autofocus.ini";
    EXPECT_FALSE(reader.ReplaceAll(path, "1003->9\r\n"));
    EXPECT_FALSE(reader.Exists(path));
    ASSERT_TRUE(files.ReplaceAll(path, "1003->7\r\n"));
    EXPECT_EQ(reader.ReadAll(path), std::optional<std::string>("1003->7\r\n"));
    EXPECT_FALSE(reader.ReplaceAll(path, "1003->9\r\n"));
    EXPECT_EQ(FileText(path), "1003->7\r\n");
    EXPECT_EQ(ScratchDirectory::Entries(scratch.path()), std::vector<std::string>{"autofocus.ini"});
    EXPECT_EQ(reader.ProgramDirectory(), files.ProgramDirectory());
}

// A replace clears the temporary files that killed writers left, and only those: a
// file of another program that still runs is on its way to its rename.
TEST_F(SettingsFilesWinTest, ReplaceRemovesOnlyTheTemporaryFilesOfGoneWriters) {
    const std::string path = scratch.path() + "autofocus-runs.htm";
    char own[16], gone[16];
    wsprintfA(own, "%lx", GetCurrentProcessId());
    wsprintfA(gone, "%lx", 0xFFFFFFF0ul);  // no process has this id
    // This test's own process stands in for another running program.
    struct Case {
        std::string suffix;
        bool old;  // last written eleven minutes ago
        bool kept;
    };
    const std::vector<Case> cases = {
        {std::string(".") + gone + "-1-0.tmp", false, false},
        {std::string(".") + own + "-2-0.tmp", false, true},
        {std::string(".") + own + "-3-0.tmp", true, false},
        {".not-a-pid.tmp", false, false},
        {".-1-0.tmp", false, false},
    };
    for (const Case& c : cases) {
        const std::string temp = path + c.suffix;
        WriteFileText(temp, "partial");
        if (c.old) {
            KernelHandle file(CreateFileA(temp.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
            FILETIME now;
            GetSystemTimeAsFileTime(&now);
            ULARGE_INTEGER t{{now.dwLowDateTime, now.dwHighDateTime}};
            t.QuadPart -= 11ull * 60 * 10000000;
            const FILETIME then{t.LowPart, t.HighPart};
            ASSERT_TRUE(SetFileTime(file.get(), nullptr, nullptr, &then));
        }
    }
    ASSERT_EQ(files.ReplaceThroughTemporary(path, "page"), SettingsFilesWin::Replacement::Done);
    EXPECT_EQ(FileText(path), "page");
    for (const Case& c : cases)
        EXPECT_EQ(files.Exists(path + c.suffix), c.kept) << c.suffix;
}

TEST_F(SettingsFilesWinTest, ReplaceAllKeepsAReadOnlyFile) {
    std::string path = scratch.path() + "autofocus.ini";
    WriteFileText(path, "old");
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(files.ReplaceAll(path, "new"));
    EXPECT_EQ(FileText(path), "old");
    EXPECT_EQ(ScratchDirectory::Entries(scratch.path()), std::vector<std::string>{"autofocus.ini"});
}

TEST_F(SettingsFilesWinTest, ReplaceAllKeepsAFileHeldOpenWithoutSharing) {
    std::string path = scratch.path() + "autofocus.ini";
    WriteFileText(path, "old");
    {
        KernelHandle holder(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(holder);
        EXPECT_FALSE(files.ReplaceAll(path, "new"));
    }
    EXPECT_EQ(FileText(path), "old");
    EXPECT_EQ(ScratchDirectory::Entries(scratch.path()), std::vector<std::string>{"autofocus.ini"});
}

TEST_F(SettingsFilesWinTest, ReplaceAllKeepsTheOldFilesFlags) {
    std::string path = scratch.path() + "autofocus.ini";
    // Wine keeps hidden and system only; the archive flag marks every written file.
    for (DWORD flags : {DWORD{FILE_ATTRIBUTE_HIDDEN}, DWORD{FILE_ATTRIBUTE_SYSTEM},
                        DWORD{FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE},
                        DWORD{FILE_ATTRIBUTE_NORMAL}}) {
        WriteFileText(path, "old");
        ASSERT_TRUE(SetFileAttributesA(path.c_str(), flags));
        ASSERT_TRUE(files.ReplaceAll(path, "new " + std::to_string(flags)));
        EXPECT_EQ(FileText(path), "new " + std::to_string(flags));
        DWORD kept = GetFileAttributesA(path.c_str()) &
                     (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
        EXPECT_EQ(kept, (flags & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) | FILE_ATTRIBUTE_ARCHIVE)
            << "flags " << flags;
        EXPECT_EQ(ScratchDirectory::Entries(scratch.path()), std::vector<std::string>{"autofocus.ini"});
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

// The real file operations in a directory that refuses new files, as a folder does
// where the user may write the settings file but not create files beside it.
class RefusingDirectoryFiles : public SettingsFilesWin {
  public:
    int refusals = 0;

  protected:
    KernelHandle CreateTemporaryFile(const std::string&) override {
        ++refusals;
        SetLastError(ERROR_ACCESS_DENIED);
        return KernelHandle();
    }
};

TEST_F(SettingsFilesWinTest, WithoutATemporaryFileTheExistingFileIsWrittenInPlace) {
    std::string path = scratch.path() + "autofocus.ini";
    std::string big(2 * 1024 * 1024 + 3, 'g');
    big[1] = '\0';
    struct Case {
        const char* what;
        std::string old, content;
        DWORD flags;
    };
    const Case cases[] = {
        {"shorter", "1003->7\r\n1004->100\r\n9991->Sim.Focuser\r\n", "9991->\r\n", FILE_ATTRIBUTE_NORMAL},
        {"longer", "9991->\r\n", "1003->7\r\n1004->100\r\n9991->Sim.Focuser\r\n", FILE_ATTRIBUTE_HIDDEN},
        {"same length", "1001->0\r\n", "1001->1\r\n", FILE_ATTRIBUTE_SYSTEM},
        {"emptied", "1001->0\r\n", "", FILE_ATTRIBUTE_HIDDEN},
        {"from empty", "", "1001->1\r\n", FILE_ATTRIBUTE_NORMAL},
        {"large", "9991->\r\n", big, FILE_ATTRIBUTE_NORMAL},
        {"old bytes after a NUL", std::string("9991->\r\n\0", 9) + std::string(500, 'x'), "1001->1\r\n",
         FILE_ATTRIBUTE_NORMAL},
    };
    for (const Case& c : cases) {
        RefusingDirectoryFiles refusing;
        WriteFileText(path, c.old);
        ASSERT_TRUE(SetFileAttributesA(path.c_str(), c.flags));
        EXPECT_TRUE(refusing.ReplaceAll(path, c.content)) << c.what;
        EXPECT_GT(refusing.refusals, 0) << c.what;
        EXPECT_TRUE(FileText(path) == c.content) << c.what;
        EXPECT_EQ(GetFileAttributesA(path.c_str()) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
                  c.flags & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))
            << c.what;
        EXPECT_EQ(ScratchDirectory::Entries(scratch.path()), std::vector<std::string>{"autofocus.ini"}) << c.what;
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

TEST_F(SettingsFilesWinTest, WithoutATemporaryFileAFileThatCannotBeWrittenStaysAsItWas) {
    std::string path = scratch.path() + "autofocus.ini";
    RefusingDirectoryFiles refusing;
    // No file: a refusing directory gets no new one either.
    EXPECT_FALSE(refusing.ReplaceAll(path, "new"));
    EXPECT_TRUE(ScratchDirectory::Entries(scratch.path()).empty());

    WriteFileText(path, "old");
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(refusing.ReplaceAll(path, "new"));
    EXPECT_EQ(FileText(path), "old");
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL));

    for (DWORD sharing : {DWORD{0}, DWORD{FILE_SHARE_READ}}) {
        KernelHandle holder(CreateFileA(path.c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(holder);
        EXPECT_FALSE(refusing.ReplaceAll(path, "new")) << "sharing " << sharing;
        holder.reset();
        EXPECT_EQ(FileText(path), "old") << "sharing " << sharing;
    }
    EXPECT_EQ(ScratchDirectory::Entries(scratch.path()), std::vector<std::string>{"autofocus.ini"});
}

// The real file operations where the temporary file cannot be made for another reason
// than a refusing directory.
class FailingTemporaryFiles : public SettingsFilesWin {
  public:
    explicit FailingTemporaryFiles(DWORD error) : error_(error) {}
    int attempts = 0;

  protected:
    KernelHandle CreateTemporaryFile(const std::string&) override {
        ++attempts;
        SetLastError(error_);
        return KernelHandle();
    }

  private:
    DWORD error_;
};

TEST_F(SettingsFilesWinTest, OnlyARefusingDirectoryGetsTheFileWrittenInPlace) {
    std::string path = scratch.path() + "autofocus.ini";
    struct Case {
        DWORD error;
        bool inPlace;
    };
    // Every name taken, a path the system rejects, a full disk, a file in the way.
    for (Case c : {Case{ERROR_ACCESS_DENIED, true},
                   {ERROR_FILE_EXISTS, false},
                   {ERROR_PATH_NOT_FOUND, false},
                   {ERROR_DISK_FULL, false},
                   {ERROR_SHARING_VIOLATION, false}}) {
        WriteFileText(path, "1001->1\r\n1003->9\r\n");
        FailingTemporaryFiles failing(c.error);
        EXPECT_EQ(failing.ReplaceAll(path, "1001->0\r\n"), c.inPlace) << "error " << c.error;
        EXPECT_GT(failing.attempts, 0) << "error " << c.error;
        EXPECT_EQ(FileText(path), c.inPlace ? "1001->0\r\n" : "1001->1\r\n1003->9\r\n") << "error " << c.error;
        EXPECT_EQ(ScratchDirectory::Entries(scratch.path()), std::vector<std::string>{"autofocus.ini"});
    }
}

TEST_F(SettingsFilesWinTest, ATemporaryNameTooLongForTheSystemLeavesTheFileAlone) {
    // The file's own path fits the "A" functions' limit, the temporary name beside it
    // does not: the system rejects that name, which is no refusing directory.
    std::string path = scratch.path() + std::string(MAX_PATH - 6 - scratch.path().size(), 'f');
    WriteFileText(path, "1001->1\r\n1003->9\r\n");
    ASSERT_EQ(FileText(path), "1001->1\r\n1003->9\r\n");
    EXPECT_FALSE(files.ReplaceAll(path, "1001->0\r\n"));
    EXPECT_EQ(FileText(path), "1001->1\r\n1003->9\r\n");
    EXPECT_EQ(ScratchDirectory::Entries(scratch.path()).size(), 1u);
}

TEST_F(SettingsFilesWinTest, ReplaceAllFailsForAMissingDirectoryOrADirectoryTarget) {
    EXPECT_FALSE(files.ReplaceAll(scratch.path() + "missing\\autofocus.ini", "new"));
    ASSERT_TRUE(CreateDirectoryA((scratch.path() + "dir").c_str(), nullptr));
    EXPECT_FALSE(files.ReplaceAll(scratch.path() + "dir", "new"));
    EXPECT_EQ(ScratchDirectory::Entries(scratch.path()), std::vector<std::string>{"dir"});
}

TEST_F(SettingsFilesWinTest, OverlongPathsFailQuietly) {
    std::string path = scratch.path() + std::string(400, 'x') + "\\autofocus.ini";
    EXPECT_FALSE(files.Exists(path));
    EXPECT_FALSE(files.ReadAll(path).has_value());
    EXPECT_FALSE(files.ReplaceAll(path, "new"));
    EXPECT_TRUE(ScratchDirectory::Entries(scratch.path()).empty());
}

// A window owned by the test, destroyed at the end of it.
class OwnedWindow {
  public:
    explicit OwnedWindow(HWND window) : window_(window) {}
    OwnedWindow(OwnedWindow&& other) noexcept : window_(std::exchange(other.window_, nullptr)) {}
    OwnedWindow(const OwnedWindow&) = delete;
    OwnedWindow& operator=(const OwnedWindow&) = delete;
    ~OwnedWindow() {
        if (window_)
            DestroyWindow(window_);
    }
    HWND get() const { return window_; }

  private:
    HWND window_;
};

// A hidden top-level window with one control of each kind the window may save.
class SettingsControlsTest : public ::testing::Test {
  protected:
    SettingsControlsTest()
        : parent_(CreateWindowExA(0,
                                  "STATIC",
                                  "settings test",
                                  WS_OVERLAPPEDWINDOW,
                                  0,
                                  0,
                                  300,
                                  300,
                                  nullptr,
                                  nullptr,
                                  GetModuleHandleA(nullptr),
                                  nullptr)),
          edit(Child("EDIT", WS_CHILD | ES_AUTOHSCROLL), 1003, ComponentKind::Edit),
          check(Child("BUTTON", WS_CHILD | BS_AUTOCHECKBOX), 1001, ComponentKind::CheckBox),
          radio(Child("BUTTON", WS_CHILD | BS_AUTORADIOBUTTON), 1006, ComponentKind::RadioButton),
          list(Child("LISTBOX", WS_CHILD | WS_VSCROLL), 1007, ComponentKind::ListBox),
          combo(Child("COMBOBOX", WS_CHILD | CBS_DROPDOWNLIST), 1008, ComponentKind::ComboBox) {
        for (const char* item : {"one", "two", "three"}) {
            SendMessageA(list.Handle(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
            SendMessageA(combo.Handle(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
        }
    }
    HWND Child(const char* className, DWORD style) {
        HWND child = CreateWindowExA(0, className, "", style, 0, 0, 100, 60, parent_.get(), nullptr,
                                     GetModuleHandleA(nullptr), nullptr);
        EXPECT_NE(child, nullptr) << className;
        return child;
    }
    std::vector<SettingsComponent*> Window() { return {&edit, &check, &radio, &list, &combo}; }

    OwnedWindow parent_;  // destroys the children with it
    ControlComponent edit, check, radio, list, combo;
};

TEST_F(SettingsControlsTest, AdaptersReadAndWriteTheRealControls) {
    const std::string texts[] = {"7", "", " blanks ", std::string(100000, 'n'), "\xE9t\xE9"};
    for (const std::string& text : texts) {
        edit.SetText(text);
        EXPECT_EQ(edit.Text(), text) << text.size();
    }
    for (bool checked : {true, false, true}) {
        check.SetChecked(checked);
        radio.SetChecked(checked);
        EXPECT_EQ(check.Checked(), checked);
        EXPECT_EQ(radio.Checked(), checked);
    }
    struct IndexCase {
        int32_t set, expected;
    };
    for (IndexCase c : {IndexCase{2, 2}, {0, 0}, {-1, -1}, {1, 1}, {3, -1}}) {
        list.SetItemIndex(c.set);
        combo.SetItemIndex(c.set);
        EXPECT_EQ(list.ItemIndex(), c.expected) << c.set;
        EXPECT_EQ(combo.ItemIndex(), c.expected) << c.set;
    }
}

TEST_F(SettingsControlsTest, AGoneControlThrows) {
    DestroyWindow(edit.Handle());
    EXPECT_THROW(edit.Text(), std::runtime_error);
    EXPECT_THROW(edit.SetText("x"), std::runtime_error);
    EXPECT_THROW(ControlComponent(nullptr, 1, ComponentKind::RadioGroup), std::invalid_argument);
}

// The program's directory replaced by the scratch directory, the rest real.
class ScratchFiles : public SettingsFilesWin {
  public:
    explicit ScratchFiles(std::string directory) : directory_(std::move(directory)) {}
    std::string ProgramDirectory() override { return directory_; }

  private:
    std::string directory_;
};

TEST_F(SettingsControlsTest, SaveAndLoadGoThroughRealControlsAndFiles) {
    ScratchDirectory scratch;
    ScratchFiles files(scratch.path());
    TAutoSave save(files);
    save.Tag = 1000;
    save.TagString = "Sim.Focuser";
    edit.SetText("12");
    check.SetChecked(true);
    list.SetItemIndex(2);
    combo.SetItemIndex(1);
    save.SaveSettings("autofocus.ini", Window());
    EXPECT_EQ(files.ReadAll(scratch.path() + "autofocus.ini").value_or(""),
              "1003->12\r\n1001->1\r\n1006->0\r\n1007->2\r\n1008->1\r\n9990->0\r\n9991->Sim.Focuser\r\n");

    edit.SetText("");
    check.SetChecked(false);
    radio.SetChecked(true);
    list.SetItemIndex(-1);
    combo.SetItemIndex(0);
    save.TagString.clear();
    save.LoadSettings("autofocus.ini", Window());
    EXPECT_EQ(edit.Text(), "12");
    EXPECT_TRUE(check.Checked());
    EXPECT_FALSE(radio.Checked());
    EXPECT_EQ(list.ItemIndex(), 2);
    EXPECT_EQ(combo.ItemIndex(), 1);
    EXPECT_EQ(save.TagString, "Sim.Focuser");
}

}  // namespace
}  // namespace qm::win
