// Where a driver is registered, and so which build of the program can load it.
// 64-bit Windows keeps two views of the class registry: 64-bit programs look up
// classes in one, 32-bit programs in the other. An in-process driver (a DLL) loads
// only into a program of its own bitness and must be registered in that program's
// view; a local server (an EXE) runs in its own process and serves programs of
// either bitness.
#pragma once

#include <string>
#include <vector>

namespace qm::check {

struct RegistryView {
    bool progIdFound = false;
    std::string classId;       // "{...}" as the identifier names it
    bool classFound = false;   // the class key exists in this view
    std::string inprocServer;  // InprocServer32 default value, when present
    std::string localServer;   // LocalServer32 default value, when present
    bool hasInproc = false;
    bool hasLocal = false;
};

struct Registration {
    std::string progId;
    bool windows64 = true;  // a 32-bit Windows has only the 32-bit view
    RegistryView view32;
    RegistryView view64;
};

// Whether the program built for `bits` (32 or 64) can create the driver.
bool CanLoad(const Registration& registration, int bits);
// Registered nowhere: no class for the identifier in any view.
bool RegisteredNowhere(const Registration& registration);
// The report's lines, without indentation.
std::vector<std::string> DescribeRegistration(const Registration& registration);
// Which program to use, in one sentence.
std::string WhichProgram(const Registration& registration);

}  // namespace qm::check
