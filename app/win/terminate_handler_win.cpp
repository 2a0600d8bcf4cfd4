// What happens when an exception escapes or std::terminate is called: the process ends
// with abort(), as it does under the standard library's own handler. That handler also
// writes the exception's demangled type to stderr, which a windowed program does not
// have; defining the handler here keeps it, and the 45 KB demangler it links, out of
// the executable.
#include <cstdlib>

namespace __gnu_cxx {

[[noreturn]] void __verbose_terminate_handler() {
    std::abort();
}

}  // namespace __gnu_cxx
