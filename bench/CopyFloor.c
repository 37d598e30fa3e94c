/* The floor for any program that transforms a file: a plain copy through
 * read() and write() with 1 MiB buffers, nothing else.
 *
 *   copy-floor IN OUT
 */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

enum { kBufferBytes = 1 << 20 };

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: copy-floor IN OUT\n");
        return 2;
    }
    const int in = open(argv[1], O_RDONLY);
    const int out = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0666);
    char* buffer = malloc(kBufferBytes);
    if (in < 0 || out < 0 || buffer == NULL) {
        perror("copy-floor");
        return 1;
    }
    ssize_t got = 0;
    while ((got = read(in, buffer, kBufferBytes)) > 0) {
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = write(out, buffer + done, (size_t)(got - done));
            if (put < 0) {
                perror("copy-floor");
                return 1;
            }
            done += put;
        }
    }
    free(buffer);
    return got < 0 || close(out) != 0 ? 1 : 0;
}
