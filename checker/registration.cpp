// The registration report and which program can load the driver.
#include "checker/registration.h"

namespace qm::check {

namespace {

const RegistryView& ViewFor(const Registration& r, int bits) { return bits == 64 ? r.view64 : r.view32; }

bool HasServer(const RegistryView& v) { return v.classFound && (v.hasInproc || v.hasLocal); }

// One view's lines: what it holds, and the server's file on a line of its own.
void AddViewLines(std::vector<std::string>& lines, const RegistryView& v, const std::string& who) {
    if (!v.progIdFound) {
        lines.push_back(who + ": not registered");
        return;
    }
    if (!v.classFound) {
        lines.push_back(who + ": the class is not registered");
        return;
    }
    if (v.hasInproc) {
        lines.push_back(who + ": in-process server (InprocServer32)");
        lines.push_back("  " + (v.inprocServer.empty() ? std::string("(no file named)") : v.inprocServer));
    }
    if (v.hasLocal) {
        lines.push_back(who + ": local server (LocalServer32)");
        lines.push_back("  " + (v.localServer.empty() ? std::string("(no file named)") : v.localServer));
    }
    if (!v.hasInproc && !v.hasLocal)
        lines.push_back(who + ": the class has no server");
}

}  // namespace

bool CanLoad(const Registration& r, int bits) {
    if (bits == 64 && !r.windows64)
        return false;
    const RegistryView& own = ViewFor(r, bits);
    if (own.classFound && own.hasInproc)
        return true;
    // A local server runs in its own process, whichever view holds it.
    return (r.view32.classFound && r.view32.hasLocal) || (r.windows64 && r.view64.classFound && r.view64.hasLocal);
}

bool RegisteredNowhere(const Registration& r) {
    return !HasServer(r.view32) && !(r.windows64 && HasServer(r.view64));
}

std::vector<std::string> DescribeRegistration(const Registration& r) {
    std::vector<std::string> lines;
    std::string classId = r.view64.progIdFound && r.windows64 ? r.view64.classId : r.view32.classId;
    if (!classId.empty())
        lines.push_back(r.progId + " names the class " + classId + ".");
    else
        lines.push_back("No class is registered under the name " + r.progId + ".");
    if (r.windows64) {
        AddViewLines(lines, r.view64, "64-bit programs");
        AddViewLines(lines, r.view32, "32-bit programs");
    } else {
        AddViewLines(lines, r.view32, "32-bit Windows");
    }
    return lines;
}

std::string WhichProgram(const Registration& r) {
    const bool load64 = CanLoad(r, 64), load32 = CanLoad(r, 32);
    if (!r.windows64)
        return load32 ? "This is 32-bit Windows: the 32-bit Quillomar can load this driver."
                      : "No Quillomar can load this driver: it is not registered on this computer.";
    if (load64 && load32) {
        bool local = (r.view32.classFound && r.view32.hasLocal) || (r.view64.classFound && r.view64.hasLocal);
        return local && !(r.view64.hasInproc && r.view32.hasInproc)
                   ? "Both the 64-bit and the 32-bit Quillomar can load this driver (it runs as a program of its own)."
                   : "Both the 64-bit and the 32-bit Quillomar can load this driver.";
    }
    if (load64)
        return "Only the 64-bit Quillomar can load this driver: it is registered for 64-bit programs only.";
    if (load32)
        return "Only the 32-bit Quillomar can load this driver: it is registered for 32-bit programs only.";
    return "No Quillomar can load this driver: it is not registered for 32-bit or 64-bit programs.";
}

}  // namespace qm::check
