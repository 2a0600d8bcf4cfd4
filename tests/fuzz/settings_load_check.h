// The settings file loader under arbitrary input: the input's first bytes lay out a
// window of fake components of every kind (tags, initial values, one that may fail),
// the rest is the settings file. The check loads the file, saves, and loads the saved
// text into a fresh copy of the window, which must then hold the same values: what a
// save writes, a load reads back. A second save of unchanged settings writes nothing.
//
// Shared by the libFuzzer target and by the regression cases of the unit tests.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "settings/auto_save.h"
#include "tests/fuzz/byte_reader.h"

namespace qm::fuzz {

namespace settings_check {

constexpr const char* kDirectory = "C:\\prog\\";
constexpr const char* kFileName = "autofocus.ini";
constexpr const char* kNoData = "%NoDaTa%";

class Files : public SettingsFiles {
  public:
    std::map<std::string, std::string> files;
    int writes = 0;
    std::string ProgramDirectory() override { return kDirectory; }
    bool Exists(const std::string& path) override { return files.count(path) != 0; }
    std::optional<std::string> ReadAll(const std::string& path) override {
        auto it = files.find(path);
        if (it == files.end())
            return std::nullopt;
        return it->second;
    }
    bool ReplaceAll(const std::string& path, const std::string& content) override {
        files[path] = content;
        ++writes;
        return true;
    }
};

// The state of one component; the layout gives the initial one.
struct Values {
    std::string text;
    bool checked = false;
    int32_t index = -1;
    bool operator==(const Values&) const = default;
};

struct Layout {
    int32_t tag = 0;
    ComponentKind kind = ComponentKind::Other;
    Values initial;
};

class Component : public SettingsComponent {
  public:
    Component(const Layout& l, Values initial, int failOnSet, bool failOnRead)
        : layout(l), values(std::move(initial)), failOnSet_(failOnSet), failOnRead_(failOnRead) {}
    int32_t Tag() const override { return layout.tag; }
    ComponentKind Kind() const override { return layout.kind; }
    std::string Text() const override {
        if (failOnRead_)
            throw std::runtime_error("control gone");
        return values.text;
    }
    void SetText(const std::string& v) override {
        Taking();
        values.text = v;
    }
    bool Checked() const override { return values.checked; }
    void SetChecked(bool v) override {
        Taking();
        values.checked = v;
    }
    int32_t ItemIndex() const override { return values.index; }
    void SetItemIndex(int32_t v) override {
        Taking();
        values.index = v;
    }

    const Layout& layout;
    Values values;

  private:
    void Taking() {
        if (failOnSet_ > 0 && --failOnSet_ == 0)
            throw std::runtime_error("control failed");
    }
    int failOnSet_;
    bool failOnRead_;
};

// A text that a line of the file can carry: no line ends, no NUL.
inline std::string LineSafe(std::string s) {
    for (char& c : s)
        if (c == '\r' || c == '\n' || c == '\0')
            c = ' ';
    return s;
}

inline int32_t Wrap(int64_t v) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v)));
}

inline int32_t BaseTag(ByteReader& in) {
    switch (in.Byte() % 8) {
        case 5:
            return 0;
        case 6:
            return static_cast<int32_t>(in.InRange(-100, 9999));
        case 7:
            return in.I32();
        default:
            return 1000;
    }
}

inline int32_t ComponentTag(ByteReader& in, int32_t base) {
    switch (in.Byte() % 8) {
        case 6:
            return Wrap(static_cast<int64_t>(base) + in.InRange(-3, 102));
        case 7:
            return in.I32();
        default:
            return Wrap(static_cast<int64_t>(base) + in.InRange(1, 99));
    }
}

// The text of a file as its lines read: up to the first NUL, each line (ended by CR, LF
// or CR LF) followed by CR LF. A save leaves a file alone that reads as what it would write.
inline std::string AsLines(const std::string& content) {
    std::string out;
    const std::string text = content.substr(0, content.find('\0'));
    for (size_t i = 0; i < text.size();) {
        const size_t end = text.find_first_of("\r\n", i);
        if (end == std::string::npos) {
            out += text.substr(i) + "\r\n";
            break;
        }
        out += text.substr(i, end - i) + "\r\n";
        i = end + 1;
        if (text[end] == '\r' && i < text.size() && text[i] == '\n')
            ++i;
    }
    return out;
}

}  // namespace settings_check

// Returns an empty text when every invariant holds, else what broke.
inline std::string CheckSettingsLoad(const uint8_t* data, size_t size) {
    using namespace settings_check;
    ByteReader in(data, size);
    const uint8_t flags = in.Byte();
    const bool fileExists = (flags & 0x0F) != 0;
    const bool failWhileTaking = (flags & 0x10) != 0;
    const bool failWhileSaving = (flags & 0x20) != 0;
    const int32_t base = BaseTag(in);
    const int32_t tagInteger = in.I32();
    const std::string tagString = LineSafe(in.Text(12));
    const size_t count = static_cast<size_t>(in.InRange(0, 10));
    std::vector<Layout> layout(count);
    for (Layout& l : layout) {
        l.kind = static_cast<ComponentKind>(in.InRange(0, 6));
        l.tag = ComponentTag(in, base);
        l.initial.text = LineSafe(in.Text(10));
        l.initial.checked = in.Bool();
        l.initial.index = in.Bool() ? static_cast<int32_t>(in.InRange(-1, 9)) : in.I32();
    }
    const size_t failing = count == 0 ? 0 : static_cast<size_t>(in.InRange(0, static_cast<int64_t>(count) - 1));
    const int failAfter = static_cast<int>(in.InRange(1, 4));
    const std::string path = std::string(kDirectory) + kFileName;

    Files files;
    if (fileExists)
        files.files[path] = in.Rest();
    std::vector<std::unique_ptr<Component>> a;
    std::vector<SettingsComponent*> windowA;
    for (size_t i = 0; i < count; ++i) {
        const bool fails = i == failing;
        a.push_back(std::make_unique<Component>(layout[i], layout[i].initial, fails && failWhileTaking ? failAfter : 0,
                                                fails && failWhileSaving));
        windowA.push_back(a.back().get());
    }
    TAutoSave saveA(files);
    saveA.Tag = base;
    saveA.TagInteger = tagInteger;
    saveA.TagString = tagString;
    saveA.LoadSettings(kFileName, windowA);  // must not throw, whatever the file holds

    const std::optional<std::string> before = files.ReadAll(path);
    saveA.SaveSettings(kFileName, windowA);
    const std::optional<std::string> saved = files.ReadAll(path);

    // A save whose components fail to give a value leaves the file alone.
    bool anyEditFailsReading = false;
    for (size_t i = 0; i < count; ++i) {
        const int64_t offset = static_cast<int64_t>(layout[i].tag) - base;
        if (i == failing && failWhileSaving && layout[i].kind == ComponentKind::Edit && offset >= 1 && offset <= 99)
            anyEditFailsReading = true;
    }
    if (count == 0 || anyEditFailsReading) {
        if (saved != before)
            return "a save that could not be made changed the file";
        return {};
    }
    if (!saved)
        return "the save wrote no file";
    const std::string text = AsLines(*saved);
    if (files.writes > 0 && text != *saved)
        return "the saved text is not lines ended by CR LF";
    if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0)
        return "the saved text does not end with CR LF";
    const std::string ownLines = "9990->" + std::to_string(saveA.TagInteger) + "\r\n9991->" + saveA.TagString + "\r\n";
    if (text.size() < ownLines.size() || text.compare(text.size() - ownLines.size(), ownLines.size(), ownLines) != 0)
        return "the saved text does not end with the lines of TagInteger and TagString";

    // Saving again what was just saved writes nothing.
    const int writesAfterFirstSave = files.writes;
    saveA.SaveSettings(kFileName, windowA);
    if (files.writes != writesAfterFirstSave)
        return "a second save of unchanged settings wrote the file";

    // Which components a load of the saved text must give the same values: saved ones
    // whose tag reads back as a four-digit number that is no reserved line and is
    // carried by no other component that takes values.
    bool reservedHit = false;
    bool allRoundTrip = true;
    std::vector<bool> roundTrips(count, false);
    for (size_t i = 0; i < count; ++i) {
        const Layout& l = layout[i];
        const int64_t offset = static_cast<int64_t>(l.tag) - base;
        if (l.kind == ComponentKind::Other || offset < 1 || offset > 99)
            continue;
        if (l.tag == 9990 || l.tag == 9991)
            reservedHit = true;
        bool ok = l.tag >= 0 && l.tag <= 9999 && l.tag != 9990 && l.tag != 9991;
        for (size_t j = 0; j < count; ++j)
            if (j != i && layout[j].tag == l.tag && layout[j].kind != ComponentKind::Other)
                ok = false;
        if (l.kind == ComponentKind::Edit && a[i]->values.text == kNoData)
            ok = false;
        roundTrips[i] = ok;
        if (!ok)
            allRoundTrip = false;
    }

    // The fresh window starts from values unlike the first one's, so that only what the
    // load gives can make them equal.
    Files filesB;
    filesB.files[path] = *saved;
    std::vector<std::unique_ptr<Component>> b;
    std::vector<SettingsComponent*> windowB;
    for (size_t i = 0; i < count; ++i) {
        const Values& va = a[i]->values;
        Values other{va.text + "#", !va.checked, va.index ^ 0x5A5A};
        b.push_back(std::make_unique<Component>(layout[i], other, 0, false));
        windowB.push_back(b.back().get());
    }
    TAutoSave saveB(filesB);
    saveB.Tag = base;
    saveB.TagInteger = Wrap(static_cast<int64_t>(tagInteger) + 1);  // so that a line not read shows
    saveB.TagString = tagString + "~";
    saveB.LoadSettings(kFileName, windowB);
    for (size_t i = 0; i < count; ++i) {
        if (!roundTrips[i])
            continue;
        const Values& va = a[i]->values;
        const Values& vb = b[i]->values;
        switch (layout[i].kind) {
            case ComponentKind::Edit:
                if (va.text != vb.text)
                    return "an edit's text did not survive a save and a load";
                break;
            case ComponentKind::CheckBox:
            case ComponentKind::RadioButton:
                if (va.checked != vb.checked)
                    return "a check did not survive a save and a load";
                break;
            default:
                if (va.index != vb.index)
                    return "a selected index did not survive a save and a load";
                break;
        }
    }
    if (!reservedHit) {
        if (saveB.TagInteger != saveA.TagInteger)
            return "TagInteger did not survive a save and a load";
        if (saveB.TagString != saveA.TagString)
            return "TagString did not survive a save and a load";
    }
    if (allRoundTrip && !reservedHit) {
        saveB.SaveSettings(kFileName, windowB);
        if (filesB.writes != 0)
            return "settings loaded from a saved file saved a different text";
    }
    return {};
}

}  // namespace qm::fuzz
