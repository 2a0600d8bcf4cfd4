// TAutoSave: keeps the user's settings between runs in a small line-oriented text
// file beside the program. Controls are chosen by tag: every component whose tag
// lies 1 to 99 above the component's own Tag is saved; two values of its own,
// TagInteger and TagString, have the reserved lines 9990 and 9991.
//
// Each line is a four-digit tag, "->" and the value to the end of the line. The
// file is written only when its text would change. A failed or interrupted write
// leaves a file that reads as the old settings or, for everything the save writes,
// as the new ones (how, is up to the SettingsFiles behind it).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qm {

enum class ComponentKind { Edit, CheckBox, RadioButton, ListBox, ComboBox, RadioGroup, Other };

// A component of the window as the settings component reads and writes it.
// Accessors that do not belong to a component's kind are never called.
class SettingsComponent {
  public:
    virtual ~SettingsComponent() = default;
    virtual int32_t Tag() const = 0;
    virtual ComponentKind Kind() const = 0;
    virtual std::string Text() const { return {}; }
    virtual void SetText(const std::string&) {}
    virtual bool Checked() const { return false; }
    virtual void SetChecked(bool) {}
    virtual int32_t ItemIndex() const { return -1; }
    virtual void SetItemIndex(int32_t) {}
};

// The file operations the settings component needs; every failure is reported by
// the return value, never by an exception.
class SettingsFiles {
  public:
    virtual ~SettingsFiles() = default;
    // Directory of the program's executable, with its trailing separator; empty
    // when it cannot be found (the settings are then neither loaded nor saved).
    virtual std::string ProgramDirectory() = 0;
    virtual bool Exists(const std::string& path) = 0;
    // The whole file as bytes, or nothing when it cannot be read.
    virtual std::optional<std::string> ReadAll(const std::string& path) = 0;
    // Replaces the file's whole content. False when it could not: the file then reads
    // as its old content, or, when only the tidying of an in-place write failed, as
    // the new settings with more behind them (see settings/in_place_rewrite.h).
    virtual bool ReplaceAll(const std::string& path, const std::string& content) = 0;
};

class TAutoSave {
  public:
    explicit TAutoSave(SettingsFiles& files) : files_(files) {}

    int32_t Tag = 0;
    int32_t TagInteger = 0;
    std::string TagString;

    // Reads FileName from the program's directory and applies it to the window's
    // components (given in the window's component order). Never reports an error.
    void LoadSettings(const std::string& fileName, const std::vector<SettingsComponent*>& window);
    // Writes the tagged components and the two own values, only when the text changes.
    void SaveSettings(const std::string& fileName, const std::vector<SettingsComponent*>& window);

  private:
    SettingsFiles& files_;
};

}  // namespace qm
