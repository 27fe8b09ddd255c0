/*
 * cdemu-probe: the CD-ROM calls that SDL 1.2 makes on Linux, made on one
 * device, printing every field and errno they give back, a call a line: the
 * open, CDROMSUBCHNL, CDROMREADTOCHDR, CDROMREADTOCENTRY of each track and
 * of the lead-out in both formats, CDROMSTOP, CDROMSUBCHNL again. Run on the
 * kernel's device and on the emulated drive, the two outputs must be the
 * same. Each structure is filled with 0xa5 before its call, so that a field
 * the call leaves alone shows as 165.
 *
 * Usage: cdemu-probe DEVICE
 *        cdemu-probe --wait DEVICE
 * --wait waits, up to 30 s, until the drive can tell whether it holds a
 * disc (CDROM_DRIVE_STATUS, a TEST UNIT READY for the kernel's drivers), and
 * prints "disc" or "no disc".
 */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <linux/cdrom.h>

#include "disc.h"

static int result(int rc, int err)
{
    if (rc == 0)
        printf(" 0");
    else
        printf(" -1 %s", disc_errno_name(err));
    return rc;
}

static void print_address(const union cdrom_addr *a, int format)
{
    if (format == CDROM_MSF)
        printf("%d:%d:%d", a->msf.minute, a->msf.second, a->msf.frame);
    else
        printf("%d", a->lba);
}

static void subchannel(int fd)
{
    struct cdrom_subchnl sc;
    memset(&sc, 0xa5, sizeof sc);
    sc.cdsc_format = CDROM_MSF;
    int rc = ioctl(fd, CDROMSUBCHNL, &sc);
    int err = errno;
    printf("CDROMSUBCHNL MSF");
    result(rc, err);
    printf(": status %d adr %d ctrl %d trk %d ind %d abs ", sc.cdsc_audiostatus, sc.cdsc_adr,
           sc.cdsc_ctrl, sc.cdsc_trk, sc.cdsc_ind);
    print_address(&sc.cdsc_absaddr, CDROM_MSF);
    printf(" rel ");
    print_address(&sc.cdsc_reladdr, CDROM_MSF);
    printf("\n");
}

static void entry(int fd, int track, int format)
{
    struct cdrom_tocentry e;
    memset(&e, 0xa5, sizeof e);
    e.cdte_track = (unsigned char)track;
    e.cdte_format = (unsigned char)format;
    int rc = ioctl(fd, CDROMREADTOCENTRY, &e);
    int err = errno;
    printf("CDROMREADTOCENTRY %d %s", track, format == CDROM_MSF ? "MSF" : "LBA");
    result(rc, err);
    printf(": track %d format %d adr %d ctrl %d datamode %d addr ", e.cdte_track, e.cdte_format,
           e.cdte_adr, e.cdte_ctrl, e.cdte_datamode);
    print_address(&e.cdte_addr, format);
    printf("\n");
}

static int probe(const char *device)
{
    int fd = open(device, O_RDONLY | O_NONBLOCK);
    int err = errno;
    printf("open");
    if (result(fd < 0 ? -1 : 0, err) != 0) {
        printf("\n");
        return 0;
    }
    printf("\n");
    subchannel(fd);

    struct cdrom_tochdr h;
    memset(&h, 0xa5, sizeof h);
    int rc = ioctl(fd, CDROMREADTOCHDR, &h);
    err = errno;
    printf("CDROMREADTOCHDR");
    result(rc, err);
    printf(": trk0 %d trk1 %d\n", h.cdth_trk0, h.cdth_trk1);
    for (int track = h.cdth_trk0; rc == 0 && track <= h.cdth_trk1; track++) {
        entry(fd, track, CDROM_MSF);
        entry(fd, track, CDROM_LBA);
    }
    entry(fd, CDROM_LEADOUT, CDROM_MSF);
    entry(fd, CDROM_LEADOUT, CDROM_LBA);

    rc = ioctl(fd, CDROMSTOP);
    err = errno;
    printf("CDROMSTOP");
    result(rc, err);
    printf("\n");
    subchannel(fd);
    rc = close(fd);
    err = errno;
    printf("close");
    result(rc, err);
    printf("\n");
    return 0;
}

static int wait_for(const char *device)
{
    const struct timespec pause = {0, 100 * 1000 * 1000};
    int status = -1, err = 0;
    for (int tries = 0; tries < 300; tries++) {
        int fd = open(device, O_RDONLY | O_NONBLOCK);
        if (fd >= 0) {
            status = ioctl(fd, CDROM_DRIVE_STATUS, CDSL_CURRENT);
            err = errno;
            close(fd);
        } else {
            err = errno;
        }
        if (status == CDS_DISC_OK || status == CDS_NO_DISC) {
            printf(status == CDS_DISC_OK ? "disc\n" : "no disc\n");
            return 0;
        }
        nanosleep(&pause, NULL);
    }
    fprintf(stderr, "cdemu-probe: %s: not ready after 30 s (drive status %d, %s)\n", device,
            status, strerror(err));
    return 1;
}

int main(int argc, char **argv)
{
    if (argc == 3 && strcmp(argv[1], "--wait") == 0)
        return wait_for(argv[2]);
    if (argc != 2 || argv[1][0] == '-') {
        fprintf(stderr, "usage: cdemu-probe [--wait] DEVICE\n");
        return 2;
    }
    return probe(argv[1]);
}
