#include "Commands.h"

namespace pendrax_host {

int RunRecord(int argc, char** argv) {
    (void)argc;
    (void)argv;
    return UsageError("record is not available in this build");
}

}  // namespace pendrax_host
