// Program body: initialises COM for the user-interface thread as a single-threaded
// apartment (the late-bound focuser driver lives there), creates the main window,
// shows it and runs the message loop. COM is uninitialised at exit when its
// initialisation succeeded; the window, and with it the driver, is gone by then.
#include <windows.h>

#include "app/win/main_window_win.h"
#include "app/win/startup_trace_win.h"
#include "common/raii_win.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    qm::win::StartupMark("main entered");
    qm::win::ComApartment com;
    qm::win::StartupMark("COM initialised");
    int exitCode = 0;
    {
        qm::win::MainWindow window;
        if (!window.Create(instance)) return 1;
        window.Show();
        exitCode = window.RunMessageLoop();
    }
    return exitCode;
}
