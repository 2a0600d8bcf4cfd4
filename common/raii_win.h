// Move-only owners for the Win32 and COM resources the program uses: GDI objects,
// device contexts, selections into a DC, COM interface pointers, BSTRs, VARIANTs,
// and the COM apartment of a thread. Copying is deleted everywhere, so a resource
// is released exactly once.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <utility>

namespace qm::win {

// A GDI object (pen, brush, font, bitmap) deleted with DeleteObject.
template <typename T>
class GdiObject {
public:
    GdiObject() = default;
    explicit GdiObject(T handle) : handle_(handle) {}
    GdiObject(GdiObject&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    GdiObject& operator=(GdiObject&& other) noexcept {
        if (this != &other) reset(std::exchange(other.handle_, nullptr));
        return *this;
    }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    ~GdiObject() { reset(); }
    void reset(T handle = nullptr) {
        if (handle_) DeleteObject(handle_);
        handle_ = handle;
    }
    T get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    T handle_ = nullptr;
};
using Font = GdiObject<HFONT>;
using Pen = GdiObject<HPEN>;
using Brush = GdiObject<HBRUSH>;
using Bitmap = GdiObject<HBITMAP>;

// A memory device context made by CreateCompatibleDC.
class MemoryDC {
public:
    explicit MemoryDC(HDC compatibleWith) : dc_(CreateCompatibleDC(compatibleWith)) {}
    MemoryDC(MemoryDC&& other) noexcept : dc_(std::exchange(other.dc_, nullptr)) {}
    MemoryDC(const MemoryDC&) = delete;
    MemoryDC& operator=(const MemoryDC&) = delete;
    MemoryDC& operator=(MemoryDC&&) = delete;
    ~MemoryDC() {
        if (dc_) DeleteDC(dc_);
    }
    HDC get() const { return dc_; }

private:
    HDC dc_;
};

// A window's device context from GetDC, released with ReleaseDC.
class WindowDC {
public:
    explicit WindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    ~WindowDC() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// Selects an object into a DC and selects the previous one back on destruction.
class SelectObjectGuard {
public:
    SelectObjectGuard(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    SelectObjectGuard(const SelectObjectGuard&) = delete;
    SelectObjectGuard& operator=(const SelectObjectGuard&) = delete;
    ~SelectObjectGuard() {
        if (previous_ && previous_ != HGDI_ERROR) SelectObject(dc_, previous_);
    }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A COM interface pointer, released on destruction.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(ComPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            reset();
            ptr_ = std::exchange(other.ptr_, nullptr);
        }
        return *this;
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() { reset(); }
    void reset() {
        if (ptr_) std::exchange(ptr_, nullptr)->Release();
    }
    T* get() const { return ptr_; }
    T* operator->() const { return ptr_; }
    // For out-parameters: releases what is held and hands out the slot.
    T** put() {
        reset();
        return &ptr_;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }
    explicit operator bool() const { return ptr_ != nullptr; }

private:
    T* ptr_ = nullptr;
};

// A BSTR, freed with SysFreeString.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(BSTR owned) : str_(owned) {}
    Bstr(Bstr&& other) noexcept : str_(std::exchange(other.str_, nullptr)) {}
    Bstr& operator=(Bstr&& other) noexcept {
        if (this != &other) {
            SysFreeString(str_);
            str_ = std::exchange(other.str_, nullptr);
        }
        return *this;
    }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { SysFreeString(str_); }
    BSTR get() const { return str_; }
    BSTR* put() {
        SysFreeString(str_);
        str_ = nullptr;
        return &str_;
    }
    BSTR release() { return std::exchange(str_, nullptr); }

private:
    BSTR str_ = nullptr;
};

// A VARIANT, cleared with VariantClear.
class Variant {
public:
    Variant() { VariantInit(&v_); }
    Variant(Variant&& other) noexcept {
        v_ = other.v_;
        VariantInit(&other.v_);
    }
    Variant& operator=(Variant&&) = delete;
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { VariantClear(&v_); }
    VARIANT* get() { return &v_; }
    const VARIANT* get() const { return &v_; }
    void clear() { VariantClear(&v_); }

private:
    VARIANT v_;
};

// Initialises COM for this thread as a single-threaded apartment and uninitialises
// it on destruction when the initialisation succeeded.
class ComApartment {
public:
    ComApartment() : ok_(SUCCEEDED(CoInitialize(nullptr))) {}
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() {
        if (ok_) CoUninitialize();
    }
    bool ok() const { return ok_; }

private:
    bool ok_;
};

// A kernel handle such as an open file, closed with CloseHandle. Both null and
// INVALID_HANDLE_VALUE (what CreateFile gives on failure) count as empty.
class KernelHandle {
public:
    KernelHandle() = default;
    explicit KernelHandle(HANDLE handle) : handle_(handle) {}
    KernelHandle(KernelHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    KernelHandle& operator=(KernelHandle&& other) noexcept {
        if (this != &other) reset(std::exchange(other.handle_, nullptr));
        return *this;
    }
    KernelHandle(const KernelHandle&) = delete;
    KernelHandle& operator=(const KernelHandle&) = delete;
    ~KernelHandle() { reset(); }
    // Closes what is held; returns whether that close succeeded (true when empty).
    bool reset(HANDLE handle = nullptr) {
        bool closed = true;
        if (*this) closed = CloseHandle(handle_) != FALSE;
        handle_ = handle;
        return closed;
    }
    HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_ = nullptr;
};

}  // namespace qm::win
