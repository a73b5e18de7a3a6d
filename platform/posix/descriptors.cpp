#include "platform/posix/descriptors.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

void KeepStandardDescriptorsOpen(void)
{
    for (int fd = 0; fd <= 2; fd++) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // The lowest free descriptor is this one. Output descriptors get a
        // placeholder that refuses writes, as the closed one did: a program
        // can still tell that what it had to say went nowhere.
        int opened = open("/dev/null", O_RDONLY);
        if (opened >= 0 && opened != fd)
            close(opened);
    }
}
