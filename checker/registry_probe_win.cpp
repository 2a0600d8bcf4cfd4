// Registry reads with KEY_WOW64_32KEY and KEY_WOW64_64KEY, which pick the view a
// 32-bit or a 64-bit program sees, whichever build this is. The classes are read
// where HKEY_CLASSES_ROOT takes them from, the user's Software\Classes over the
// machine's: Wine ignores the view flags on HKEY_CLASSES_ROOT itself in a 64-bit
// process, while both systems honour them on these keys.
#include "checker/registry_probe_win.h"

#include <windows.h>

#include <optional>
#include <utility>

namespace qm::check::win {

namespace {

// An open registry key, closed on destruction.
class RegistryKey {
  public:
    RegistryKey(HKEY parent, const std::string& path, REGSAM view) {
        if (RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ | view, &key_) != ERROR_SUCCESS)
            key_ = nullptr;
    }
    RegistryKey(RegistryKey&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    RegistryKey& operator=(RegistryKey&&) = delete;
    ~RegistryKey() {
        if (key_)
            RegCloseKey(key_);
    }
    explicit operator bool() const { return key_ != nullptr; }

    // The key's default value as text; empty when it has none.
    std::string DefaultText() const {
        DWORD type = 0, bytes = 0;
        if (RegQueryValueExA(key_, nullptr, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
            (type != REG_SZ && type != REG_EXPAND_SZ) || bytes == 0)
            return {};
        std::string text(bytes, '\0');
        if (RegQueryValueExA(key_, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &bytes) !=
            ERROR_SUCCESS)
            return {};
        text.resize(bytes);
        while (!text.empty() && text.back() == '\0')
            text.pop_back();
        return text;
    }

  private:
    HKEY key_ = nullptr;
};

// A key under the classes root in one view: the user's registration, else the machine's.
std::optional<RegistryKey> ClassKey(const std::string& path, REGSAM view) {
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        std::optional<RegistryKey> key(std::in_place, root, "Software\\Classes\\" + path, view);
        if (*key)
            return key;
    }
    return std::nullopt;
}

std::optional<std::string> ClassOf(const std::string& progId, REGSAM view) {
    if (auto key = ClassKey(progId + "\\CLSID", view))
        return key->DefaultText();
    return std::nullopt;
}

std::optional<std::string> ResolveProgId(const std::string& progId, REGSAM view) {
    std::optional<std::string> classId = ClassOf(progId, view);
    if (!classId) {
        if (auto current = ClassKey(progId + "\\CurVer", view))
            classId = ClassOf(current->DefaultText(), view);
    }
    return classId;
}

RegistryView ReadClass(const std::optional<std::string>& classId, REGSAM view) {
    RegistryView result;
    if (!classId)
        return result;
    result.progIdFound = true;
    result.classId = *classId;
    const std::string classKey = "CLSID\\" + *classId;
    result.classFound = ClassKey(classKey, view).has_value();
    if (!result.classFound)
        return result;
    if (auto inproc = ClassKey(classKey + "\\InprocServer32", view)) {
        result.hasInproc = true;
        result.inprocServer = inproc->DefaultText();
    }
    if (auto local = ClassKey(classKey + "\\LocalServer32", view)) {
        result.hasLocal = true;
        result.localServer = local->DefaultText();
    }
    return result;
}

bool RunsOn64BitWindows() {
#ifdef _WIN64
    return true;
#else
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
#endif
}

}  // namespace

Registration ProbeRegistration(const std::string& progId) {
    Registration registration;
    registration.progId = progId;
    registration.windows64 = RunsOn64BitWindows();
    std::optional<std::string> class32 = ResolveProgId(progId, KEY_WOW64_32KEY);
    std::optional<std::string> class64 =
        registration.windows64 ? ResolveProgId(progId, KEY_WOW64_64KEY) : std::nullopt;
    // Programmatic identifiers are shared by both views on current Windows (Wine
    // shows them in one view only): a view that lacks the name takes the other's.
    if (!class32)
        class32 = class64;
    if (!class64)
        class64 = class32;
    registration.view32 = ReadClass(class32, KEY_WOW64_32KEY);
    if (registration.windows64)
        registration.view64 = ReadClass(class64, KEY_WOW64_64KEY);
    return registration;
}

}  // namespace qm::check::win
