// The run record's Win32 files: appends to the end whatever else has the file open, a
// missing file told from an unreadable one, replacements refused by a read-only file,
// the folder's lock shared by every store of one folder, in any spelling of its path, and
// the pending files: made unshared, listed by the long name alone.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/raii_win.h"
#include "record/run_recorder_win.h"
#include "settings/settings_files_win.h"

namespace qm::win {
namespace {

// The files in a directory of this test's own under the system's temporary directory.
class ScratchFiles : public SettingsFilesWin {
  public:
    ScratchFiles() {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        static int count = 0;
        directory_ = std::string(temp) + "qm_record_" + std::to_string(GetCurrentProcessId()) + "_" +
                     std::to_string(count++) + "\\";
        CreateDirectoryA(directory_.c_str(), nullptr);
    }
    ~ScratchFiles() override {
        for (const char* name : {"a.jsonl", "b.htm"}) {
            SetFileAttributesA((directory_ + name).c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA((directory_ + name).c_str());
        }
        RemoveDirectoryA(directory_.c_str());
    }
    std::string ProgramDirectory() override { return directory_; }

  private:
    std::string directory_;
};

// Takes the store's lock on a thread of its own: 1 when it was had.
DWORD WINAPI TryLock(void* store) {
    RunRecordStoreWin& s = *static_cast<RunRecordStoreWin*>(store);
    return s.Lock() ? 1 : 0;
}

TEST(RunRecordStoreWin, AppendsToTheEndAndTellsAMissingFile) {
    ScratchFiles files;
    RunRecordStoreWin store(files);
    const std::string path = files.ProgramDirectory() + "a.jsonl";
    EXPECT_EQ(store.Read(path), std::string());
    ASSERT_TRUE(store.Append(path, "one\n"));
    // Another handle moved to the start of the file does not move the append.
    KernelHandle other(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                   nullptr));
    ASSERT_TRUE(other);
    ASSERT_TRUE(store.Append(path, "two\n"));
    EXPECT_EQ(store.Read(path), "one\ntwo\n");
    // Wine refuses to rename over a file another handle has open, even one that shares
    // delete access, so the replace waits for the other handle to close.
    other.reset();
    ASSERT_EQ(store.Replace(path, "three\n"), RunRecordStore::Replaced::Done);
    EXPECT_EQ(store.Read(path), "three\n");
    // A read-only file is not replaced. (Whether it can be appended to is the system's
    // to say: Wine run as root lets root write it.)
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(store.Replace(path, "four\n"), RunRecordStore::Replaced::Failed);
    EXPECT_EQ(store.Read(path), "three\n");
}

TEST(RunRecordStoreWin, OverwriteWritesTheWholeFileInPlace) {
    ScratchFiles files;
    RunRecordStoreWin store(files);
    const std::string path = files.ProgramDirectory() + "b.htm";
    ASSERT_TRUE(store.Overwrite(path, "a long old page"));
    ASSERT_TRUE(store.Overwrite(path, "new"));
    EXPECT_EQ(store.Read(path), "new");
}

// Two stores of one folder, however its path is spelt, share one lock: while one holds
// it, another thread's store cannot have it at once. The thread gives up after the
// store's own wait, so it is asked with the holder letting go first.
TEST(RunRecordStoreWin, OneLockPerFolder) {
    ScratchFiles files;
    RunRecordStoreWin first(files);
    ASSERT_TRUE(first.Lock());
    // The same folder with its path in other case, seen by a second store.
    class UpperCase : public SettingsFilesWin {
      public:
        explicit UpperCase(std::string directory) : directory_(std::move(directory)) {
            CharUpperBuffA(directory_.data(), static_cast<DWORD>(directory_.size()));
        }
        std::string ProgramDirectory() override { return directory_; }

      private:
        std::string directory_;
    } upper(files.ProgramDirectory());
    RunRecordStoreWin second(upper);
    KernelHandle thread(CreateThread(nullptr, 0, TryLock, &second, 0, nullptr));
    ASSERT_TRUE(thread);
    // Still waiting while the first holds the lock: the thread has not ended.
    EXPECT_EQ(WaitForSingleObject(thread.get(), 200), static_cast<DWORD>(WAIT_TIMEOUT));
    first.Unlock();
    ASSERT_EQ(WaitForSingleObject(thread.get(), INFINITE), WAIT_OBJECT_0);
    DWORD got = 0;
    ASSERT_TRUE(GetExitCodeThread(thread.get(), &got));
    EXPECT_EQ(got, 1u);
}

// The lock's name is the folder's, whatever spelling of its path the program was
// started from; another folder has another; a folder that cannot be opened falls back
// to its path.
TEST(RunRecordStoreWin, TheLockIsNamedAfterTheFolder) {
    ScratchFiles files;
    const std::string dir = files.ProgramDirectory();
    const std::string sub = dir + "sub\\";
    ASSERT_TRUE(CreateDirectoryA(sub.c_str(), nullptr));
    char shortPath[MAX_PATH];
    const DWORD shortLength = GetShortPathNameA(dir.c_str(), shortPath, MAX_PATH);
    std::string upper = dir;
    CharUpperBuffA(upper.data(), static_cast<DWORD>(upper.size()));
    const std::string name = RunRecordLockName(dir);
    struct Case {
        const char* spelling;
        std::string path;
        bool same;
    };
    const std::vector<Case> cases = {
        {"upper case", upper, true},
        {"without its last backslash", dir.substr(0, dir.size() - 1), true},
        {"through a subfolder and ..", sub + "..\\", true},
        {"with forward slashes", [&] {
             std::string slashes = dir;
             for (char& c : slashes)
                 c = c == '\\' ? '/' : c;
             return slashes;
         }(),
         true},
        {"short (8.3)", shortLength > 0 && shortLength < MAX_PATH ? std::string(shortPath) : dir, true},
        {"a subfolder", sub, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RunRecordLockName(c.path) == name, c.same) << c.spelling << ": " << c.path;
    EXPECT_NE(name.find("-id-"), std::string::npos) << name;
    const std::string missing = dir + "missing\\";
    EXPECT_EQ(RunRecordLockName(missing).find("-id-"), std::string::npos);
    EXPECT_EQ(RunRecordLockName(missing), RunRecordLockName(missing.substr(0, missing.size() - 1) + "\\"));
    RemoveDirectoryA(sub.c_str());
}

TEST(RunRecordStoreWin, PendingFilesAreMadeUnsharedAndListedByTheirLongName) {
    ScratchFiles files;
    RunRecordStoreWin store(files);
    const std::string dir = files.ProgramDirectory();
    const std::string first = dir + kPendingRunPrefix + store.PendingStamp() + kPendingRunSuffix;
    ASSERT_TRUE(store.WriteNew(first, "line\n"));
    EXPECT_FALSE(store.WriteNew(first, "again\n"));  // never over another's
    EXPECT_EQ(store.Read(first), "line\n");
    // One still being written is opened by no one else: Read tells it from an empty file.
    const std::string open = dir + kPendingRunPrefix + "open" + kPendingRunSuffix;
    {
        KernelHandle writing(CreateFileA(open.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
        ASSERT_TRUE(writing);
        EXPECT_EQ(store.Read(open), std::nullopt);
    }
    // Neither another file whose short name may match, nor a folder, is a pending file.
    const std::string other = dir + kPendingRunPrefix + "x" + kPendingRunSuffix + ".tmp";
    ASSERT_TRUE(store.WriteNew(other, ""));
    const std::string folder = dir + kPendingRunPrefix + "folder" + kPendingRunSuffix;
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    std::vector<std::string> names = store.FileNames(kPendingRunPrefix, kPendingRunSuffix);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{first.substr(dir.size()), open.substr(dir.size())}));
    // Stamps made one after the other sort in the order they were made.
    const std::string earlier = store.PendingStamp();
    Sleep(20);
    EXPECT_LT(earlier, store.PendingStamp());
    for (const std::string& path : {first, open, other})
        EXPECT_TRUE(store.Remove(path)) << path;
    EXPECT_FALSE(store.Remove(first));
    RemoveDirectoryA(folder.c_str());
}

}  // namespace
}  // namespace qm::win
