// Entry point of the Win32 test program: GoogleTest with COM and OLE initialised for
// the test thread as a single-threaded apartment, as the program itself runs. Like the
// program, it draws at the screen's density rather than being scaled by the system, so
// the painting tests run at the density of the screen they are started on.
#include <windows.h>
// After windows.h, which it needs.
#include <ole2.h>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    SetProcessDPIAware();
    ::testing::InitGoogleTest(&argc, argv);
    HRESULT ole = OleInitialize(nullptr);  // also initialises COM for this thread
    int result = RUN_ALL_TESTS();
    if (SUCCEEDED(ole))
        OleUninitialize();
    return result;
}
