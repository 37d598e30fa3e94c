/* A C program built against the installed module: flanges a missing file. */
#include <PendraxWAVFlanger.h>
#include <stdio.h>

int main(void) {
    static const PendraxWideChar missing[] = {'n', 'o', 'n', 'e', '.', 'w', 'a', 'v', 0};
    static const PendraxWideChar out[] = {'o', 'u', 't', '.', 'w', 'a', 'v', 0};
    int result = WAVFlanger(missing, out);
    printf("result %d\n", result);
    return result == PENDRAX_FLANGER_OPEN_FAILED ? 0 : 1;
}
