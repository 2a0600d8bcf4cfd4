// The main window of the program: a fixed, stay-on-top window with two pages,
// "Autofocus" and "Control", holding every control of the layout. It decides
// nothing: it creates the controls, turns window messages into calls on the
// controller (TFormAFoc) and runs each call inside the general error report.
#pragma once

#include <windows.h>

#include <memory>

namespace qm {
class TFormAFoc;
}

namespace qm::win {

class MainWindow {
public:
    static constexpr int kClientWidth = 318;
    static constexpr int kClientHeight = 141;
    static constexpr int kLeft = 469;
    static constexpr int kTop = 124;

    MainWindow();
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Creates the window and its controls and runs FormCreate. Returns false when the
    // window could not be created.
    bool Create(HINSTANCE instance);
    // Shows the window at its place and runs FormShow.
    void Show();
    // Runs the message loop until the window is destroyed; returns the exit code.
    int RunMessageLoop();

    HWND Handle() const;
    TFormAFoc& Form();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace qm::win
