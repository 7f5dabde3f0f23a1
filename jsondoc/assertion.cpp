// The misuse check must stop the process in release builds too, so the standard assertion is forced on here.
#ifdef NDEBUG
#undef NDEBUG
#endif

#include <cassert>
#include <cstdio>
#include <cstdlib>

#include "jsondoc/jsondoc.h"

namespace jsondoc {

void assertion(const char* file, int line, const char* expression, bool result) {
    if (result) {
        return;
    }
    std::fprintf(stderr, "[JSONDOC] expression '%s' failed at %s:%d -> ", expression, file, line);
    std::fflush(stderr);
    assert(0);
    std::abort();
}

}  // namespace jsondoc
