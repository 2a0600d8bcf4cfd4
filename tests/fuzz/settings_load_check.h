// The settings file loader under arbitrary input: the input's first bytes lay out a
// window of fake components of every kind (tags, initial values, one that may fail),
// the rest is the settings file. The check loads the file, saves, and loads the saved
// text into a fresh copy of the window, which must then hold the same values: what a
// save writes, a load reads back. A second save of unchanged settings writes nothing.
// And the save's in-place rewrite, stopped at each of its steps and inside its writes,
// leaves a file that loads as the old one or gives every value the new text holds.
//
// Shared by the libFuzzer target and by the regression cases of the unit tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "settings/auto_save.h"
#include "settings/in_place_rewrite.h"
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

// A file in memory whose operations stop for good at operation stopAt, after partial
// bytes of it when it is a write: what a killed process leaves.
class StoppedFile : public RewritableFile {
  public:
    StoppedFile(std::string content, size_t stopAt, size_t partial)
        : bytes(std::move(content)), stopAt_(stopAt), partial_(partial) {}
    bool WriteAt(uint64_t offset, std::string_view data) override {
        if (!Going())
            return false;
        if (operations == stopAt_ + 1)
            data = data.substr(0, std::min(partial_, data.size()));
        if (bytes.size() < offset + data.size())
            bytes.resize(offset + data.size(), '\0');
        bytes.replace(offset, data.size(), data);
        return operations != stopAt_ + 1;
    }
    bool Flush() override { return Going() && operations != stopAt_ + 1; }
    bool SetLength(uint64_t length) override {
        if (!Going() || operations == stopAt_ + 1)
            return false;
        bytes.resize(length, '\0');
        return true;
    }
    std::string bytes;
    size_t operations = 0;

  private:
    bool Going() { return ++operations <= stopAt_ + 1; }
    size_t stopAt_, partial_;
};

// What loading content gives a window of the layout's initial values (no component
// failing) and the own values: the component values and TagInteger, TagString.
struct Loaded {
    std::vector<Values> values;
    int32_t tagInteger = 0;
    std::string tagString;
};
inline Loaded LoadInto(const std::vector<Layout>& layout, int32_t base, const std::string& content) {
    Files files;
    files.files[std::string(kDirectory) + kFileName] = content;
    std::vector<std::unique_ptr<Component>> owned;
    std::vector<SettingsComponent*> window;
    for (const Layout& l : layout) {
        owned.push_back(std::make_unique<Component>(l, l.initial, 0, false));
        window.push_back(owned.back().get());
    }
    TAutoSave save(files);
    save.Tag = base;
    save.TagInteger = -7;
    save.TagString = "~";
    save.LoadSettings(kFileName, window);
    Loaded loaded{{}, save.TagInteger, save.TagString};
    for (const auto& c : owned)
        loaded.values.push_back(c->values);
    return loaded;
}

// Stops the in-place rewrite of oldContent into newContent at every step, inside each
// write after none, one, half and all but one of its bytes, and loads what is left.
// It must load as the old content, or give the new text's values: to the own values
// and to every component whose tag one of its lines names.
inline std::string CheckStoppedRewrites(const std::vector<Layout>& layout,
                                        int32_t base,
                                        const std::vector<bool>& namedByNewText,
                                        const std::string& oldContent,
                                        const std::string& newContent) {
    const Loaded asOld = LoadInto(layout, base, oldContent), asNew = LoadInto(layout, base, newContent);
    StoppedFile whole(oldContent, SIZE_MAX - 1, 0);
    if (!RewriteInPlace(whole, oldContent, newContent) || whole.bytes != newContent)
        return "the in-place rewrite did not write the new text";
    const size_t longest = oldContent.size() + newContent.size() + 2;
    for (size_t stopAt = 0; stopAt < whole.operations; ++stopAt) {
        for (size_t partial : {size_t{0}, size_t{1}, longest / 2, longest - 1}) {
            StoppedFile file(oldContent, stopAt, partial);
            RewriteInPlace(file, oldContent, newContent);
            const Loaded got = LoadInto(layout, base, file.bytes);
            if (got.values == asOld.values && got.tagInteger == asOld.tagInteger && got.tagString == asOld.tagString)
                continue;
            if (got.tagInteger != asNew.tagInteger || got.tagString != asNew.tagString)
                return "a stopped in-place rewrite lost the own values of both texts";
            for (size_t i = 0; i < layout.size(); ++i) {
                if (namedByNewText[i] && !(got.values[i] == asNew.values[i]))
                    return "a stopped in-place rewrite mixed old and new values";
            }
        }
    }
    return {};
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

    // The same save written in place and stopped part way. Which components a line of
    // the new text names: the saved ones that wrote a line with a four-digit tag that is
    // no reserved one.
    if (files.writes > 0) {
        std::vector<bool> named(count, false);
        for (size_t i = 0; i < count; ++i) {
            const Layout& l = layout[i];
            for (size_t j = 0; j < count; ++j) {
                const int64_t offset = static_cast<int64_t>(layout[j].tag) - base;
                const bool wrote = layout[j].kind != ComponentKind::Other && offset >= 1 && offset <= 99 &&
                                   !(layout[j].kind == ComponentKind::Edit && a[j]->values.text == kNoData);
                if (wrote && layout[j].tag == l.tag && l.tag >= 0 && l.tag <= 9999 && l.tag != 9990 && l.tag != 9991)
                    named[i] = true;
            }
        }
        std::string broken = CheckStoppedRewrites(layout, base, named, before.value_or(""), *saved);
        if (!broken.empty())
            return broken;
    }

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
