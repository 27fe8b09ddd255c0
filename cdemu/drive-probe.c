/*
 * drive-probe DEVICE STEP...: does to a CD-ROM drive what a program may do
 * with its descriptors, and prints what the drive answers, a line a step:
 *   traced  whether a tracer (cdemu-run) runs this process
 *   open    opens DEVICE
 *   openat  opens DEVICE's name in its folder, itself opened
 *   toc     reads the table of contents' header: "toc FIRST-LAST"
 *   fork, vfork
 *           a child reads it too ("child: toc ..."), closes its copy and ends
 *   dup, dup2, dup3, fcntl
 *           copies the descriptor that way and closes the original
 *   close_range, closefrom
 *           closes the descriptor that way and opens /dev/null, which takes
 *           its number: the descriptor is /dev/null's from then on
 * A failed call prints "NAME: REASON" and the probe goes on. A step that
 * the C library has no function for ends the probe with status 77 and
 * "drive-probe: STEP: REASON" on standard error.
 */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <libgen.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <linux/cdrom.h>

static void toc(int fd, const char *who)
{
    struct cdrom_tochdr header;
    if (ioctl(fd, CDROMREADTOCHDR, &header) != 0)
        printf("%stoc: %s\n", who, strerror(errno));
    else
        printf("%stoc %d-%d\n", who, header.cdth_trk0, header.cdth_trk1);
}

static int traced(void)
{
    char line[256];
    int pid = 0;
    FILE *status = fopen("/proc/self/status", "r");
    while (status != NULL && fgets(line, sizeof line, status) != NULL)
        sscanf(line, "TracerPid: %d", &pid);
    if (status != NULL)
        fclose(status);
    return pid != 0;
}

/* The child of a fork or vfork reads the table and closes its copy; the
 * parent goes on once it has ended. */
static void child_reads(int fd, int by_vfork)
{
    pid_t child = by_vfork ? vfork() : fork();
    if (child == 0) {
        toc(fd, "child: ");
        close(fd);
        _exit(0);
    }
    if (child < 0)
        printf("fork: %s\n", strerror(errno));
    else
        waitpid(child, NULL, 0);
}

/* glibc has close_range and closefrom from 2.34 on; musl has neither. */
#if defined(__GLIBC__) && defined(__GLIBC_PREREQ)
#if __GLIBC_PREREQ(2, 34)
#define HAS_CLOSE_RANGE 1
#endif
#endif

#ifdef HAS_CLOSE_RANGE
/* After the descriptor fd is closed: /dev/null opened in its place. */
static int reopen_as_null(int fd, const char *step)
{
    int null = open("/dev/null", O_RDONLY);
    if (null != fd)
        printf("%s: /dev/null opened as %d, not as %d\n", step, null, fd);
    return null;
}
#endif

static int close_by(const char *step, int fd)
{
#ifdef HAS_CLOSE_RANGE
    if (strcmp(step, "close_range") == 0) {
        if (close_range((unsigned)fd, (unsigned)fd, 0) != 0)
            printf("close_range: %s\n", strerror(errno));
    } else {
        closefrom(fd);
    }
    return reopen_as_null(fd, step);
#else
    (void)fd;
    fprintf(stderr, "drive-probe: %s: not in this C library (glibc 2.34 and later have it)\n", step);
    exit(77);
#endif
}

static int open_in_folder(const char *device)
{
    char copy[4096];
    snprintf(copy, sizeof copy, "%s", device);
    char *name = strrchr(device, '/') != NULL ? strrchr(device, '/') + 1 : (char *)device;
    int folder = open(dirname(copy), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return -1;
    int fd = openat(folder, name, O_RDONLY | O_NONBLOCK);
    int err = errno;
    close(folder);
    errno = err;
    return fd;
}

int main(int argc, char **argv)
{
    setvbuf(stdout, NULL, _IONBF, 0);
    int fd = -1;
    for (int i = 2; i < argc; i++) {
        const char *step = argv[i];
        int copy = -2;
        if (strcmp(step, "traced") == 0) {
            puts(traced() ? "traced" : "not traced");
        } else if (strcmp(step, "open") == 0 || strcmp(step, "openat") == 0) {
            fd = step[4] == '\0' ? open(argv[1], O_RDONLY | O_NONBLOCK) : open_in_folder(argv[1]);
            if (fd < 0)
                printf("%s: %s\n", step, strerror(errno));
        } else if (strcmp(step, "toc") == 0) {
            toc(fd, "");
        } else if (strcmp(step, "fork") == 0) {
            child_reads(fd, 0);
        } else if (strcmp(step, "vfork") == 0) {
            child_reads(fd, 1);
        } else if (strcmp(step, "close_range") == 0 || strcmp(step, "closefrom") == 0) {
            fd = close_by(step, fd);
        } else if (strcmp(step, "dup") == 0) {
            copy = dup(fd);
        } else if (strcmp(step, "dup2") == 0) {
            copy = dup2(fd, fd + 10);
        } else if (strcmp(step, "dup3") == 0) {
            copy = dup3(fd, fd + 20, O_CLOEXEC);
        } else if (strcmp(step, "fcntl") == 0) {
            copy = fcntl(fd, F_DUPFD_CLOEXEC, fd + 30);
        } else {
            fprintf(stderr, "drive-probe: unknown step %s\n", step);
            return 2;
        }
        if (copy == -1) {
            printf("%s: %s\n", step, strerror(errno));
        } else if (copy >= 0) {
            close(fd);
            fd = copy;
        }
    }
    return 0;
}
