// SaveStress.exe: drives the real settings component (TAutoSave with the Win32 file
// operations of settings/) so that a test can check what survives a hard kill. The
// settings file is "autofocus.ini" in the directory of this executable, as for the
// program itself.
//
// The window is played by five fake components with the tags of the main window and
// a long TagString, switched between two complete contents, A and B, each a few
// kilobytes long, so that a torn write can never look like either of them.
//
//   SaveStress.exe loop [N]        saves A, B, A, ... N times (default: until killed);
//                                  prints "ready" after the first save and "saved N" at the end
//   SaveStress.exe save A|B        one save of that content; exit 0 when the file then holds it
//   SaveStress.exe hold SECONDS    opens autofocus.ini without any sharing, prints "holding",
//                                  and keeps it open for that long (or until killed)
//   SaveStress.exe check A|B       exit 0 when the file holds exactly that content
//   SaveStress.exe reads           loads the file as the program would and prints what it
//                                  gives: "A", "B" or "neither"
//
// Exit codes: 0 done, 1 bad command line, 2 the file does not hold what it should,
// 3 the file could not be opened.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/raii_win.h"
#include "settings/auto_save.h"
#include "settings/memory_component.h"
#include "settings/settings_files_win.h"

namespace {

constexpr char kFileName[] = "autofocus.ini";
constexpr int32_t kOwnTag = 1000;
// About 4 KB of driver identifier: a file of some size, where a torn write has room to
// show, that is still one line of the format.
constexpr size_t kTagStringLength = 4000;
constexpr int kHoldPollMs = 100;

enum ExitCode : int { kExitOk = 0, kExitUsage = 1, kExitMismatch = 2, kExitNoFile = 3 };

using qm::MemoryComponent;

// The window's saved controls in the main window's component order, and the two own values.
class FakeWindow {
  public:
    explicit FakeWindow(qm::SettingsFiles& files) : save_(files) {
        components_.push_back(std::make_unique<MemoryComponent>(1003, qm::ComponentKind::Edit));
        components_.push_back(std::make_unique<MemoryComponent>(1004, qm::ComponentKind::Edit));
        components_.push_back(std::make_unique<MemoryComponent>(1005, qm::ComponentKind::Edit));
        components_.push_back(std::make_unique<MemoryComponent>(1001, qm::ComponentKind::CheckBox));
        components_.push_back(std::make_unique<MemoryComponent>(1002, qm::ComponentKind::CheckBox));
        save_.Tag = kOwnTag;
        for (auto& c : components_)
            list_.push_back(c.get());
    }

    // Content A or B: every value differs between the two, the long identifier in
    // every block, so that no mix of the two reads as either.
    void Set(char which) {
        const bool a = which == 'A';
        components_[0]->SetText(a ? "7" : "49");
        components_[1]->SetText(a ? "100" : "999");
        components_[2]->SetText(a ? "2" : "9");
        components_[3]->SetChecked(a);
        components_[4]->SetChecked(!a);
        save_.TagInteger = a ? 0 : -123456;
        std::string id(kTagStringLength, a ? 'a' : 'b');
        // A running counter every 16 characters: a block copied to the wrong place shows.
        for (size_t i = 0; i + 8 <= id.size(); i += 16) {
            char digits[16];
            std::snprintf(digits, sizeof digits, "%08u", static_cast<unsigned>(i));
            id.replace(i, 8, digits);
        }
        save_.TagString = (a ? "Sim.A." : "Sim.B.") + id + (a ? ".endA" : ".endB");
    }

    void Save() { save_.SaveSettings(kFileName, list_); }
    void Load() { save_.LoadSettings(kFileName, list_); }

    // Every value the file gives, in one text.
    std::string State() const {
        std::string state;
        for (const auto& c : components_)
            state += c->Text() + (c->Checked() ? "|1|" : "|0|");
        return state + std::to_string(save_.TagInteger) + "|" + save_.TagString;
    }

  private:
    qm::TAutoSave save_;
    std::vector<std::unique_ptr<MemoryComponent>> components_;
    std::vector<qm::SettingsComponent*> list_;
};

// File operations that keep the text the component would write instead of writing it.
class CaptureFiles : public qm::SettingsFiles {
  public:
    std::string ProgramDirectory() override { return "C:\\"; }
    bool Exists(const std::string&) override { return false; }
    std::optional<std::string> ReadAll(const std::string&) override { return std::nullopt; }
    bool ReplaceAll(const std::string&, const std::string& content) override {
        text = content;
        return true;
    }
    std::string text;
};

// What the settings component writes for content A or B.
std::string ExpectedText(char which) {
    CaptureFiles capture;
    FakeWindow window(capture);
    window.Set(which);
    window.Save();
    return capture.text;
}

std::string SettingsPath() {
    qm::win::SettingsFilesWin files;
    return files.ProgramDirectory() + kFileName;
}

bool IsContent(const char* arg) {
    return arg && (std::strcmp(arg, "A") == 0 || std::strcmp(arg, "B") == 0);
}

int Loop(long long iterations) {
    qm::win::SettingsFilesWin files;
    FakeWindow window(files);
    long long done = 0;
    for (; iterations <= 0 || done < iterations; ++done) {
        window.Set(done % 2 == 0 ? 'A' : 'B');
        window.Save();
        if (done == 0) {
            std::printf("ready\n");
            std::fflush(stdout);
        }
    }
    std::printf("saved %lld\n", done);
    return kExitOk;
}

int Check(char which) {
    qm::win::SettingsFilesWin files;
    const auto content = files.ReadAll(SettingsPath());
    if (!content)
        return kExitNoFile;
    return *content == ExpectedText(which) ? kExitOk : kExitMismatch;
}

// What loading the file gives a window that starts empty: content A, B or neither.
int Reads() {
    qm::win::SettingsFilesWin files;
    FakeWindow loaded(files);
    loaded.Load();
    for (char which : {'A', 'B'}) {
        FakeWindow expected(files);
        expected.Set(which);
        if (loaded.State() == expected.State()) {
            std::printf("%c\n", which);
            return kExitOk;
        }
    }
    std::printf("neither\n");
    return kExitMismatch;
}

int SaveOnce(char which) {
    qm::win::SettingsFilesWin files;
    FakeWindow window(files);
    window.Set(which);
    window.Save();
    return Check(which);
}

// Holds the settings file open with no sharing at all, as another program might.
int Hold(int seconds) {
    qm::win::KernelHandle file(
        CreateFileA(SettingsPath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        std::printf("error: cannot open %s (%lu)\n", SettingsPath().c_str(), GetLastError());
        return kExitNoFile;
    }
    std::printf("holding\n");
    std::fflush(stdout);
    for (int waited = 0; waited < seconds * 1000; waited += kHoldPollMs)
        Sleep(kHoldPollMs);
    return kExitOk;
}

int Usage() {
    std::printf("usage: SaveStress.exe loop [N] | save A|B | check A|B | reads | hold SECONDS\n");
    return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc < 2)
        return Usage();
    const std::string mode = argv[1];
    const char* arg = argc > 2 ? argv[2] : nullptr;
    if (mode == "loop")
        return Loop(arg ? std::atoll(arg) : 0);
    if (mode == "save" && IsContent(arg))
        return SaveOnce(arg[0]);
    if (mode == "check" && IsContent(arg))
        return Check(arg[0]);
    if (mode == "reads")
        return Reads();
    if (mode == "hold" && arg)
        return Hold(std::atoi(arg));
    return Usage();
}
