// TAutoSave: loading and saving the settings file. The file is a list of lines
// "TTTT->value"; loading applies each valid line to the window's components in file
// order, saving rebuilds the text from the components and the two own values and
// replaces the file only when that text differs from what the file already holds.
//
// Nothing here ever reports: a file that cannot be read counts as absent, a line that
// does not fit the format is skipped, a component that fails while taking a value
// ends the load at that line, and a failed write leaves a file that reads as the old
// settings (or as the new ones, when only an in-place write's tidying failed).
#include "settings/auto_save.h"

#include <cstdint>
#include <string_view>

#include "common/whole_number.h"

namespace qm {

namespace {

constexpr int32_t kTagIntegerLine = 9990;
constexpr int32_t kTagStringLine = 9991;
constexpr std::string_view kNoData = "%NoDaTa%";
constexpr std::string_view kLineEnd = "\r\n";
// "TTTT->": the tag is the first four characters, the value starts after the arrow.
constexpr size_t kTagLength = 4;
constexpr size_t kValueStart = kTagLength + 2;
// Tags 1 to 99 above the component's own tag are saved.
constexpr int64_t kFirstSavedOffset = 1;
constexpr int64_t kLastSavedOffset = 99;

// The part of a file that is text: everything before the first NUL byte.
std::string_view ReadableText(std::string_view content) {
    size_t nul = content.find('\0');
    return nul == std::string_view::npos ? content : content.substr(0, nul);
}

// Calls visit(line) for each line of text in order. CR, LF and CR LF each end a
// line; a last line without an ending still counts, and an ending at the very end
// of the text does not start another, empty line. One pass, no copies.
template <typename Visit>
void ForEachLine(std::string_view text, Visit&& visit) {
    const char* begin = text.data();
    const char* const end = begin + text.size();
    while (begin < end) {
        const char* stop = begin;
        while (stop < end && *stop != '\r' && *stop != '\n')
            ++stop;
        visit(std::string_view(begin, static_cast<size_t>(stop - begin)));
        if (stop == end)
            return;
        begin = stop + 1;
        if (*stop == '\r' && begin < end && *begin == '\n')
            ++begin;
    }
}

// The file's text as it would read back line by line, each line followed by CR LF.
std::string NormalisedText(std::string_view content) {
    std::string_view text = ReadableText(content);
    std::string result;
    result.reserve(text.size() + kLineEnd.size());
    ForEachLine(text, [&result](std::string_view line) {
        result.append(line);
        result.append(kLineEnd);
    });
    return result;
}

// The tag of a settings line, or -1 when the line is not one: more than five
// characters, the first "->" at the fifth character, and the first four characters a
// whole number that is not negative.
int32_t LineTag(std::string_view line) {
    if (line.size() <= kValueStart - 1)
        return -1;
    if (line[kTagLength] != '-' || line[kTagLength + 1] != '>')
        return -1;
    // An earlier arrow would put '>' among the first four characters, which then are
    // no number: the checks below cover "the first arrow" without searching the line.
    std::optional<int32_t> tag = ParseWholeNumber(line.substr(0, kTagLength));
    if (!tag || *tag < 0)
        return -1;
    return *tag;
}

// Gives one value to every component that carries the tag, in component order.
void ApplySetting(std::string_view value, int32_t tag, const std::vector<SettingsComponent*>& window) {
    for (SettingsComponent* component : window) {
        if (component->Tag() != tag)
            continue;
        ComponentKind kind = component->Kind();
        if (kind == ComponentKind::Edit)
            component->SetText(std::string(value));
        // An empty value only clears edits; the other kinds keep their state.
        if (value.empty())
            continue;
        int32_t number = WholeNumberOrZero(value);
        switch (kind) {
            case ComponentKind::CheckBox:
            case ComponentKind::RadioButton:
                component->SetChecked(number != 0);
                break;
            case ComponentKind::ListBox:
            case ComponentKind::ComboBox:
            case ComponentKind::RadioGroup:
                component->SetItemIndex(number);
                break;
            case ComponentKind::Edit:
            case ComponentKind::Other:
                break;
        }
    }
}

// The value a component writes, or the no-data marker when its kind has none.
std::string WrittenValue(const SettingsComponent& component) {
    switch (component.Kind()) {
        case ComponentKind::Edit:
            return component.Text();
        case ComponentKind::CheckBox:
        case ComponentKind::RadioButton:
            return component.Checked() ? "1" : "0";
        case ComponentKind::ListBox:
        case ComponentKind::ComboBox:
        case ComponentKind::RadioGroup:
            return std::to_string(component.ItemIndex());
        case ComponentKind::Other:
            break;
    }
    return std::string(kNoData);
}

void AppendLine(std::string& text, int32_t tag, std::string_view value) {
    text.append(ZeroPaddedNumber(tag, 4));
    text.append("->");
    text.append(value);
    text.append(kLineEnd);
}

}  // namespace

void TAutoSave::LoadSettings(const std::string& fileName, const std::vector<SettingsComponent*>& window) {
    try {
        std::string directory = files_.ProgramDirectory();
        if (directory.empty())
            return;  // never fall back to the working directory
        std::string path = directory + fileName;
        if (!files_.Exists(path))
            return;
        std::optional<std::string> content = files_.ReadAll(path);
        if (!content)
            return;
        ForEachLine(ReadableText(*content), [this, &window](std::string_view line) {
            int32_t tag = LineTag(line);
            if (tag < 0)
                return;
            std::string_view value = line.substr(kValueStart);
            if (tag == kTagIntegerLine) {
                TagInteger = WholeNumberOrZero(value);
            } else if (tag == kTagStringLine) {
                TagString = std::string(value);
            } else {
                ApplySetting(value, tag, window);
            }
        });
    } catch (...) {
        // A component that fails ends the load here: the lines before it stay applied.
    }
}

void TAutoSave::SaveSettings(const std::string& fileName, const std::vector<SettingsComponent*>& window) {
    try {
        std::string directory = files_.ProgramDirectory();
        if (directory.empty() || window.empty())
            return;
        std::string path = directory + fileName;

        std::string newText;
        for (const SettingsComponent* component : window) {
            // In 64 bits: tags far apart must not overflow into the window.
            int64_t offset = static_cast<int64_t>(component->Tag()) - Tag;
            if (offset < kFirstSavedOffset || offset > kLastSavedOffset)
                continue;
            std::string value = WrittenValue(*component);
            if (value == kNoData)
                continue;
            AppendLine(newText, component->Tag(), value);
        }
        AppendLine(newText, kTagIntegerLine, std::to_string(TagInteger));
        AppendLine(newText, kTagStringLine, TagString);

        std::string oldText;
        if (files_.Exists(path)) {
            if (std::optional<std::string> content = files_.ReadAll(path))
                oldText = NormalisedText(*content);
        }
        if (newText != oldText)
            files_.ReplaceAll(path, newText);
    } catch (...) {
        // A component that cannot give its value leaves the file as it was.
    }
}

}  // namespace qm
