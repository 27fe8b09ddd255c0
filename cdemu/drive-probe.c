/*
 * drive-probe DEVICE STEP...: does to a CD-ROM drive what a program may do
 * with its descriptors, and prints what the drive answers, a line a step:
 *   traced  whether a tracer (cdemu-run) runs this process
 *   open    opens DEVICE
 *   toc     reads the table of contents' header: "toc FIRST-LAST"
 *   fork    a child reads it too ("child: toc ..."), closes its copy and ends
 *   dup, dup2, dup3, fcntl
 *           copies the descriptor that way and closes the original
 * A failed call prints "NAME: REASON" and the probe goes on.
 */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
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

int main(int argc, char **argv)
{
    setvbuf(stdout, NULL, _IONBF, 0);
    int fd = -1;
    for (int i = 2; i < argc; i++) {
        const char *step = argv[i];
        int copy = -2;
        if (strcmp(step, "traced") == 0) {
            puts(traced() ? "traced" : "not traced");
        } else if (strcmp(step, "open") == 0) {
            fd = open(argv[1], O_RDONLY | O_NONBLOCK);
            if (fd < 0)
                printf("open: %s\n", strerror(errno));
        } else if (strcmp(step, "toc") == 0) {
            toc(fd, "");
        } else if (strcmp(step, "fork") == 0) {
            pid_t child = fork();
            if (child == 0) {
                toc(fd, "child: ");
                close(fd);
                _exit(0);
            }
            waitpid(child, NULL, 0);
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
