// Registry writes shared by the simulator's in-process and local-server registration:
// a class and its programmatic identifier under HKEY_CLASSES_ROOT, in the caller's view.
#pragma once

#include <ole2.h>
#include <windows.h>

#include <string>

namespace qm::sim {

// A registry key closed on destruction.
class RegKey {
  public:
    RegKey() = default;
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    ~RegKey() {
        if (key_)
            RegCloseKey(key_);
    }
    HKEY* put() { return &key_; }
    HKEY get() const { return key_; }

  private:
    HKEY key_ = nullptr;
};

// Writes one text value under HKEY_CLASSES_ROOT\path, creating the key.
inline bool SetClassesValue(const std::wstring& path, const wchar_t* name, const std::wstring& value) {
    RegKey key;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr) !=
        ERROR_SUCCESS)
        return false;
    DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes) ==
           ERROR_SUCCESS;
}

inline std::wstring GuidText(const CLSID& id) {
    wchar_t text[64] = {};
    StringFromGUID2(id, text, 64);
    return text;
}

// The programmatic identifier and class keys that name a class: ProgID -> CLSID and back.
inline bool RegisterClassNames(const wchar_t* progId, const CLSID& id, const wchar_t* description) {
    const std::wstring classKey = L"CLSID\\" + GuidText(id);
    return SetClassesValue(progId, L"", description) &&
           SetClassesValue(std::wstring(progId) + L"\\CLSID", L"", GuidText(id)) &&
           SetClassesValue(classKey, L"", description) && SetClassesValue(classKey + L"\\ProgID", L"", progId);
}

inline void UnregisterClassNames(const wchar_t* progId, const CLSID& id) {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, progId);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + GuidText(id)).c_str());
}

}  // namespace qm::sim
