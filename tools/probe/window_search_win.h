// Finding and reading another program's windows from outside, as the test tools
// (Probe.exe and SimHost.exe) need: the program's main window by title, its controls
// in a fixed order, their texts and their places. Everything here works across
// processes: the texts are read with WM_GETTEXT, which the system carries between
// processes, and with a timeout, so a program that hangs cannot hang the tool.
#pragma once

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tools/sim_host/host_text.h"

namespace qm::tools {

// How long one cross-process text read may take before the window counts as hung.
constexpr UINT kTextReadTimeoutMs = 3000;
// How often the wait loops look again.
constexpr std::chrono::milliseconds kPollInterval{25};

inline std::string ClassOf(HWND window) {
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

inline bool SameTextIgnoringCase(const std::string& a, const std::string& b) {
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

// The window's text, or nothing when the window does not answer in time.
inline std::optional<std::string> TextOf(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kTextReadTimeoutMs, &length)) {
        return std::nullopt;
    }
    // WM_GETTEXTLENGTH may report more than WM_GETTEXT gives (never less), so the
    // buffer is sized from it and the copy cut at what was really written.
    std::string text(static_cast<size_t>(length) + 1, '\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                             kTextReadTimeoutMs, &copied)) {
        return std::nullopt;
    }
    text.resize(std::min<size_t>(static_cast<size_t>(copied), text.size() - 1));
    return text;
}

using qm::sim::Escape;
using qm::sim::SplitLines;

// Every descendant of parent, depth first, each window before its own children and
// siblings in z-order (creation order unless the program reorders them).
inline void CollectDescendants(HWND parent, std::vector<HWND>& out) {
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        out.push_back(child);
        CollectDescendants(child, out);
    }
}

inline std::vector<HWND> Descendants(HWND top) {
    std::vector<HWND> out;
    CollectDescendants(top, out);
    return out;
}

// The program's main window: a top-level window with exactly this title that is not
// a message box (a box captioned like the program has the same title). Among several,
// the one with the most controls wins, so an empty helper window never does.
inline HWND FindMainWindow(const std::string& title) {
    HWND best = nullptr;
    size_t bestChildren = 0;
    // Walking the desktop's children in z-order needs no callback (whose calling
    // convention a lambda cannot give on 32-bit Windows).
    for (HWND window = GetTopWindow(nullptr); window; window = GetWindow(window, GW_HWNDNEXT)) {
        char text[512] = {};
        GetWindowTextA(window, text, sizeof text);
        if (title != text || ClassOf(window) == "#32770")
            continue;
        const size_t children = Descendants(window).size();
        if (!best || children > bestChildren) {
            best = window;
            bestChildren = children;
        }
    }
    return best;
}

// FindMainWindow, retried until the window shows up or the time is over.
inline HWND WaitForMainWindow(const std::string& title, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (HWND window = FindMainWindow(title))
            return window;
        if (std::chrono::steady_clock::now() >= end)
            return nullptr;
        std::this_thread::sleep_for(kPollInterval);
    }
}

// A message box: a dialog of class #32770 with this caption.
inline HWND FindMessageBox(const std::string& caption) {
    return FindWindowA("#32770", caption.c_str());
}

inline bool HasStyle(HWND window, LONG_PTR bits) {
    return (GetWindowLongPtrA(window, GWL_STYLE) & bits) == bits;
}

// The log pane: a read-only multi-line edit without children of its own (the numeric
// edits are multi-line too, but writable and holding their spin button).
inline HWND FindLogPane(HWND top) {
    for (HWND window : Descendants(top)) {
        if (SameTextIgnoringCase(ClassOf(window), "Edit") && HasStyle(window, ES_MULTILINE | ES_READONLY) &&
            !GetWindow(window, GW_CHILD)) {
            return window;
        }
    }
    return nullptr;
}

// A control's rectangle in the client coordinates of top.
inline RECT RectInClientOf(HWND control, HWND top) {
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(HWND_DESKTOP, top, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// The status line: the label to the right of the label "Status:", on the same parent
// and about the same height. Nothing when there is no such pair.
inline HWND FindStatusLabel(HWND top) {
    const auto all = Descendants(top);
    for (HWND caption : all) {
        if (!SameTextIgnoringCase(ClassOf(caption), "Static") || TextOf(caption).value_or("") != "Status:")
            continue;
        const RECT captionRect = RectInClientOf(caption, top);
        HWND best = nullptr;
        LONG bestDistance = 0;
        for (HWND other : all) {
            if (other == caption || GetParent(other) != GetParent(caption) ||
                !SameTextIgnoringCase(ClassOf(other), "Static")) {
                continue;
            }
            const RECT r = RectInClientOf(other, top);
            constexpr LONG kSameLineSlack = 8;
            if (r.left < captionRect.left + 1 || std::labs(r.top - captionRect.top) > kSameLineSlack)
                continue;
            const LONG distance = r.left - captionRect.left;
            if (!best || distance < bestDistance) {
                best = other;
                bestDistance = distance;
            }
        }
        if (best)
            return best;
    }
    return nullptr;
}

}  // namespace qm::tools
