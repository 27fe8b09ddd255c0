/*
 * cdemu-probe: the CD-ROM calls that SDL 1.2 makes on Linux, made on one
 * device, printing every field and errno they give back, a call a line: the
 * open, CDROMSUBCHNL, CDROMREADTOCHDR, CDROMREADTOCENTRY of each track and
 * of the lead-out in both formats, CDROMSTOP, CDROMSUBCHNL again. Run on the
 * kernel's device and on the emulated drive, the two outputs must be the
 * same; what it printed on the kernel's device is kept beside each disc
 * description as its record (tests/discs/NAME.probe). Each structure is
 * filled with 0xa5 before its call, so that a field the call leaves alone
 * shows as 165.
 *
 * Usage: cdemu-probe DEVICE
 *        cdemu-probe --describe DEVICE
 *        cdemu-probe --normalise DESCRIPTION
 *        cdemu-probe --wait DEVICE
 * --describe writes a description of the disc in the drive, in the emulated
 * drive's format, from what SDL reads of it (the status query, the table's
 * header, each track's entry and the lead-out's by MSF), so that the disc can
 * be replayed where there is no such drive. It writes nothing unless the
 * whole description could be made: a failed call is named on standard error,
 * with status 1.
 * --normalise writes a description as --describe would: comments and blank
 * lines out, one statement a line in a fixed order, addresses as M:SS:FF.
 * --wait waits, up to 30 s, until the drive can tell whether it holds a
 * disc (CDROM_DRIVE_STATUS, a TEST UNIT READY for the kernel's drivers), and
 * prints "disc" or "no disc".
 */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/utsname.h>
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

static void write_msf(FILE *out, long frames)
{
    fprintf(out, "%ld:%02ld:%02ld", frames / 4500, frames / 75 % 60, frames % 75);
}

/* Every statement that changes what the drive answers, in one order and one
 * form, so that two descriptions of the same disc read the same. */
static void write_description(FILE *out, const struct disc *d)
{
    const char *status = disc_status_name(d->audio_status);
    if (d->empty_errno != 0) {
        /* Tracks and status behind an empty tray are never seen; 'empty
         * sr' answers the status query all the same. */
        if (d->empty_subchnl_ok)
            fprintf(out, "empty sr\nstatus %s\n", status);
        else if (d->empty_errno == ENOMEDIUM)
            fprintf(out, "empty\n");
        else
            fprintf(out, "empty %s\n", disc_errno_name(d->empty_errno));
    } else {
        fprintf(out, "first %d\n", d->first);
        for (int i = 0; i < d->ntracks; i++) {
            fprintf(out, "track %s ", d->data[i] ? "data" : "audio");
            write_msf(out, d->start[i]);
            fprintf(out, "\n");
        }
        fprintf(out, "leadout ");
        write_msf(out, d->leadout);
        fprintf(out, "\n");
        if (d->header_first >= 0)
            fprintf(out, "header %d %d\n", d->header_first, d->header_last);
        fprintf(out, "status %s\n", status);
    }
    for (int i = 0; i < d->nfails; i++) {
        const struct disc_fail *f = &d->fails[i];
        fprintf(out, "fail %s %s from %ld", disc_op_name(f->op), disc_errno_name(f->err), f->from);
        if (f->count != 0)
            fprintf(out, " for %ld", f->count);
        fprintf(out, "\n");
    }
    const struct {
        const char *name, *text;
    } sdl[] = {{"SDL_Init", d->sdl_init_error}, {"SDL_InitSubSystem", d->sdl_cdrom_error},
               {"SDL_CreateMutex", d->sdl_mutex_error}};
    for (size_t i = 0; i < sizeof sdl / sizeof sdl[0]; i++) {
        if (sdl[i].text[0] != '\0')
            fprintf(out, "sdl-fail %s %s\n", sdl[i].name, sdl[i].text);
    }
}

static int normalise(const char *path)
{
    struct disc d;
    char error[512];
    if (disc_load(path, &d, error, sizeof error) != 0) {
        fprintf(stderr, "cdemu-probe: %s\n", error);
        return 1;
    }
    write_description(stdout, &d);
    if (fflush(stdout) != 0 || ferror(stdout)) {
        fprintf(stderr, "cdemu-probe: write error: %s\n", strerror(errno));
        return 1;
    }
    return 0;
}

static int failed(const char *device, const char *call, int err)
{
    fprintf(stderr, "cdemu-probe: %s: %s failed: %s (%s); no description written\n", device, call,
            strerror(err), disc_errno_name(err));
    return 1;
}

/* The first line of a sysfs attribute, without the blanks that pad SCSI's
 * vendor and model; "unknown" where there is none. */
static void read_attribute(const char *path, char *out, size_t size)
{
    snprintf(out, size, "unknown");
    FILE *in = fopen(path, "re");
    if (in == NULL)
        return;
    char line[256];
    if (fgets(line, sizeof line, in) != NULL) {
        size_t n = strlen(line);
        while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == ' ' || line[n - 1] == '\t'))
            line[--n] = '\0';
        if (n > 0)
            snprintf(out, size, "%s", line);
    }
    fclose(in);
}

/* Which drive and kernel answered: "VENDOR MODEL" from sysfs, found by the
 * device's number, and the kernel's release. */
static void write_origin(FILE *out, const char *device)
{
    char vendor[128] = "unknown", model[128] = "unknown";
    struct stat st;
    if (stat(device, &st) == 0 && S_ISBLK(st.st_mode)) {
        char path[128];
        snprintf(path, sizeof path, "/sys/dev/block/%u:%u/device/vendor", major(st.st_rdev),
                 minor(st.st_rdev));
        read_attribute(path, vendor, sizeof vendor);
        snprintf(path, sizeof path, "/sys/dev/block/%u:%u/device/model", major(st.st_rdev),
                 minor(st.st_rdev));
        read_attribute(path, model, sizeof model);
    }
    struct utsname u;
    if (uname(&u) != 0)
        snprintf(u.release, sizeof u.release, "unknown");
    int known = strcmp(vendor, "unknown") != 0 || strcmp(model, "unknown") != 0;
    fprintf(out, "# The disc in %s, as cdemu-probe --describe read it.\n", device);
    fprintf(out, "# Drive: %s%s%s. Kernel: Linux %s.\n", vendor, known ? " " : "",
            known ? model : "", u.release);
}

/* The description must read back as the disc it describes: disc_load is the
 * one judge of that. Returns 0, or -1 with the reason in error. */
static int check_description(const char *text, size_t size, char *error, size_t error_size)
{
    int fd = memfd_create("description", MFD_CLOEXEC);
    if (fd < 0) {
        snprintf(error, error_size, "memfd_create: %s", strerror(errno));
        return -1;
    }
    int rc = -1;
    char path[64];
    snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    if (write(fd, text, size) != (ssize_t)size) {
        snprintf(error, error_size, "write: %s", strerror(errno));
    } else {
        struct disc d;
        char reason[512];
        rc = disc_load(path, &d, reason, sizeof reason);
        /* The reason starts with the path, which names nothing to a reader. */
        size_t skip = strlen(path) + 1;
        if (rc != 0)
            snprintf(error, error_size, "line %s",
                     strncmp(reason, path, skip - 1) == 0 && reason[skip - 1] == ':' ? reason + skip
                                                                                 : reason);
    }
    close(fd);
    return rc;
}

static long msf_frames(const struct cdrom_msf0 *msf)
{
    return msf->minute * 4500L + msf->second * 75L + msf->frame;
}

/* Reads the disc as SDL does: the status query; an empty tray where it or
 * the table's header says no medium; else the header, each track's entry
 * and the lead-out's, by MSF, a track being data by its control bits. */
static int read_disc(const char *device, int fd, struct disc *d)
{
    memset(d, 0, sizeof *d);
    d->header_first = d->header_last = -1;
    struct cdrom_subchnl sc;
    memset(&sc, 0, sizeof sc);
    sc.cdsc_format = CDROM_MSF;
    if (ioctl(fd, CDROMSUBCHNL, &sc) != 0) {
        if (errno != ENOMEDIUM)
            return failed(device, "CDROMSUBCHNL", errno);
        d->empty_errno = ENOMEDIUM;
        return 0;
    }
    d->audio_status = sc.cdsc_audiostatus;
    struct cdrom_tochdr h;
    if (ioctl(fd, CDROMREADTOCHDR, &h) != 0) {
        if (errno != ENOMEDIUM)
            return failed(device, "CDROMREADTOCHDR", errno);
        /* The drive answers the status query without a disc, as Linux's sr
         * driver lets a SCSI drive do. */
        d->empty_errno = ENOMEDIUM;
        d->empty_subchnl_ok = 1;
        return 0;
    }
    d->first = h.cdth_trk0;
    d->ntracks = h.cdth_trk1 - h.cdth_trk0 + 1;
    /* (Tracks 0 to 255 would be one more than a description holds.) */
    if (d->ntracks < 0 || d->ntracks > DISC_MAX_TRACKS) {
        fprintf(stderr, "cdemu-probe: %s: CDROMREADTOCHDR says tracks %d to %d; no description "
                "written\n", device, h.cdth_trk0, h.cdth_trk1);
        return 1;
    }
    for (int i = 0; i <= d->ntracks; i++) {
        struct cdrom_tocentry e;
        memset(&e, 0, sizeof e);
        e.cdte_track = (unsigned char)(i < d->ntracks ? d->first + i : CDROM_LEADOUT);
        e.cdte_format = CDROM_MSF;
        if (ioctl(fd, CDROMREADTOCENTRY, &e) != 0) {
            char call[64];
            if (i < d->ntracks)
                snprintf(call, sizeof call, "CDROMREADTOCENTRY of track %d", d->first + i);
            else
                snprintf(call, sizeof call, "CDROMREADTOCENTRY of the lead-out");
            return failed(device, call, errno);
        }
        if (i == d->ntracks) {
            d->leadout = msf_frames(&e.cdte_addr.msf);
        } else {
            d->start[i] = msf_frames(&e.cdte_addr.msf);
            d->data[i] = (e.cdte_ctrl & CDROM_DATA_TRACK) != 0;
        }
    }
    return 0;
}

static int describe(const char *device)
{
    int fd = open(device, O_RDONLY | O_NONBLOCK);
    if (fd < 0)
        return failed(device, "open", errno);
    struct disc d;
    int rc = read_disc(device, fd, &d);
    close(fd);
    if (rc != 0)
        return rc;

    char *text = NULL;
    size_t size = 0;
    FILE *out = open_memstream(&text, &size);
    if (out == NULL) {
        fprintf(stderr, "cdemu-probe: open_memstream: %s\n", strerror(errno));
        return 1;
    }
    write_origin(out, device);
    if (disc_status_name(d.audio_status) == NULL) {
        /* SDL takes any status it does not know for an error, as the
         * description's 'error' makes it. */
        fprintf(out, "# The drive's audio status, 0x%02x, has no word: written as 'error'.\n",
                (unsigned)d.audio_status);
        d.audio_status = CDROM_AUDIO_ERROR;
    }
    write_description(out, &d);
    char error[600] = "out of memory";
    rc = fclose(out) == 0 && text != NULL ? check_description(text, size, error, sizeof error) : -1;
    if (rc != 0) {
        fprintf(stderr, "cdemu-probe: %s: the drive's answers make no description (%s); none "
                "written\n", device, error);
        free(text);
        return 1;
    }
    size_t written = fwrite(text, 1, size, stdout);
    free(text);
    if (written != size || fflush(stdout) != 0) {
        fprintf(stderr, "cdemu-probe: write error: %s\n", strerror(errno));
        return 1;
    }
    return 0;
}

int main(int argc, char **argv)
{
    if (argc == 3 && strcmp(argv[1], "--wait") == 0)
        return wait_for(argv[2]);
    if (argc == 3 && strcmp(argv[1], "--describe") == 0)
        return describe(argv[2]);
    if (argc == 3 && strcmp(argv[1], "--normalise") == 0)
        return normalise(argv[2]);
    if (argc != 2 || argv[1][0] == '-') {
        fprintf(stderr, "usage: cdemu-probe [--wait|--describe] DEVICE\n"
                        "       cdemu-probe --normalise DESCRIPTION\n");
        return 2;
    }
    return probe(argv[1]);
}
