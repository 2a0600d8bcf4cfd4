// What happens when an exception escapes the driver check or std::terminate is called:
// one line on stderr with the exception's message, where it has one, and the process
// ends with abort(), as under the standard library's own handler. That handler writes
// the exception's demangled type instead; defining the handler here keeps its 45 KB
// demangler out of the executable, and a user reads a message rather than a type name.
#include <cstdio>
#include <cstdlib>
#include <exception>

namespace __gnu_cxx {

void __verbose_terminate_handler() {
    const char* reason = "terminated without an exception";
    if (const std::exception_ptr escaped = std::current_exception()) {
        try {
            std::rethrow_exception(escaped);
        } catch (const std::exception& e) {
            reason = e.what();
        } catch (...) {
            reason = "an exception that is not a std::exception";
        }
    }
    // Written piece by piece: no allocation here (the exception may be bad_alloc), and
    // fputs, unlike fprintf, does not bring the C library's formatter along.
    std::fputs("QmDriverCheck: internal error: ", stderr);
    std::fputs(reason, stderr);
    std::fputs("\n", stderr);
    std::abort();
}

}  // namespace __gnu_cxx
