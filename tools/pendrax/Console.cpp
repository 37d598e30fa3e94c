// The platform-free half of the console: formatting.
#include "Console.h"

#include <cstdarg>
#include <vector>

namespace pendrax_host {

// printf's own form, its arguments checked by the format attribute.
// NOLINTNEXTLINE(cert-dcl50-cpp)
void Say(const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    std::va_list again;
    va_copy(again, arguments);
    const int size = std::vsnprintf(nullptr, 0, format, arguments);
    va_end(arguments);
    if (size > 0) {
        std::vector<char> text(static_cast<std::size_t>(size) + 1);
        (void)std::vsnprintf(text.data(), text.size(), format, again);
        WriteText(stderr, std::string(text.data(), static_cast<std::size_t>(size)));
    }
    va_end(again);
}

}  // namespace pendrax_host
