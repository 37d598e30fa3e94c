#include "os/Console.h"

namespace pendrax_host {

void WriteText(std::FILE* stream, const std::string& text) {
    (void)std::fwrite(text.data(), 1, text.size(), stream);
}

}  // namespace pendrax_host
