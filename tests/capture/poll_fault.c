/* Loaded into quillon-capture with LD_PRELOAD: the encoder's waits for its
 * two pipes (two descriptors, no time limit) fail from the fifth on, as poll
 * does when the kernel is out of memory; the first four let some frames
 * through, so ffmpeg has a video to write when the feeding fails. Every
 * other poll is the real one, and ffmpeg, started by the capture, does not
 * inherit the library. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <poll.h>
#include <stdlib.h>

__attribute__((constructor)) static void KeepFromChildren(void) { unsetenv("LD_PRELOAD"); }

int poll(struct pollfd* fds, nfds_t count, int timeout) {
    static int waits = 0;
    if (count == 2 && timeout < 0 && ++waits >= 5) {
        errno = ENOMEM;
        return -1;
    }
    int (*real)(struct pollfd*, nfds_t, int);
    *(void**)&real = dlsym(RTLD_NEXT, "poll"); /* the POSIX way to a function's address */
    return real(fds, count, timeout);
}
