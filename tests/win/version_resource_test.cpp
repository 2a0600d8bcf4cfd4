// The version resource of the built program, read back the way Windows reads it for a
// file's properties: the fixed version numbers and the strings of the language that
// the translation table names first must all carry the project version and names.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string DirectoryOfThisProgram() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string text(path, length);
    return text.substr(0, text.find_last_of("\\/") + 1);
}

class VersionResource {
  public:
    explicit VersionResource(const std::string& file) {
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeA(file.c_str(), &ignored);
        if (size == 0)
            return;
        data_.resize(size);
        if (!GetFileVersionInfoA(file.c_str(), 0, size, data_.data()))
            data_.clear();
    }

    bool Present() const { return !data_.empty(); }

    const VS_FIXEDFILEINFO* Fixed() const {
        void* block = nullptr;
        UINT length = 0;
        if (!Query("\\", &block, &length) || length < sizeof(VS_FIXEDFILEINFO))
            return nullptr;
        return static_cast<const VS_FIXEDFILEINFO*>(block);
    }

    // The string under the first language and code page of the translation table.
    std::string String(const std::string& name) const {
        void* block = nullptr;
        UINT length = 0;
        if (!Query("\\VarFileInfo\\Translation", &block, &length) || length < 2 * sizeof(WORD))
            return "(no translation table)";
        const auto* translation = static_cast<const WORD*>(block);
        char key[128];
        std::snprintf(key, sizeof key, "\\StringFileInfo\\%04x%04x\\%s", translation[0], translation[1],
                      name.c_str());
        if (!Query(key, &block, &length) || length == 0)
            return "(missing)";
        return std::string(static_cast<const char*>(block));
    }

  private:
    bool Query(const std::string& key, void** block, UINT* length) const {
        return VerQueryValueA(data_.data(), key.c_str(), block, length) != 0;
    }

    std::vector<char> data_;
};

TEST(VersionResource, ProgramCarriesTheProjectVersionAndNames) {
    const std::string program = DirectoryOfThisProgram() + "Quillomar.exe";
    const VersionResource resource(program);
    ASSERT_TRUE(resource.Present()) << "no version resource in " << program;

    const VS_FIXEDFILEINFO* fixed = resource.Fixed();
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    const DWORD expectedMs = MAKELONG(QM_VERSION_MINOR, QM_VERSION_MAJOR);
    const DWORD expectedLs = MAKELONG(0, QM_VERSION_PATCH);
    EXPECT_EQ(fixed->dwFileVersionMS, expectedMs);
    EXPECT_EQ(fixed->dwFileVersionLS, expectedLs);
    EXPECT_EQ(fixed->dwProductVersionMS, expectedMs);
    EXPECT_EQ(fixed->dwProductVersionLS, expectedLs);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

    const struct {
        const char* name;
        std::string expected;
    } strings[] = {
        {"ProductName", "Quillomar"},
        {"ProductVersion", QM_VERSION},
        {"FileVersion", QM_VERSION},
        {"OriginalFilename", "Quillomar.exe"},
        {"LegalCopyright", "Copyright (c) 2026 The Quillomar developers"},
        {"FileDescription", "Quillomar autofocus for ASCOM focusers"},
    };
    for (const auto& s : strings) {
        EXPECT_EQ(resource.String(s.name), s.expected) << s.name;
    }
}

}  // namespace
