/*
 * cdemu-usb: the emulated drive as hardware to a Linux kernel. It plugs a
 * USB CD-ROM drive into the kernel's virtual USB host controller (USB/IP's
 * vhci-hcd, over a socket pair) and, as that drive's firmware, answers the
 * commands of the kernel's usb-storage, sr and cdrom drivers (scsi.c) from a
 * disc description. The kernel makes a /dev/srN of it, and programs read the
 * disc through the kernel's own CD-ROM ioctls. Test support for a virtual
 * machine's guest: static, and no bigger than the kernel needs.
 *
 * Usage: cdemu-usb [-v] NUMBER DISC
 * NUMBER (0-999) names the drive: its product name is "disc NUMBER", which
 * /sys/block/srN/device/model shows. Once the
 * drive is attached, prints the process id of the drive, which serves until
 * the kernel lets go of it, and exits. SIGHUP to the drive puts the disc
 * back in the state described (its audio status). -v logs every command
 * block and its status on standard error.
 */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include "disc.h"
#include "scsi.h"

#define ATTACH "/sys/devices/platform/vhci_hcd.0/attach"
#define HIGH_SPEED 3

/* USB/IP: 48-byte headers, big-endian. */
#define CMD_SUBMIT 1
#define CMD_UNLINK 2
#define RET_SUBMIT 3
#define RET_UNLINK 4
#define HEADER 48
#define DIR_IN 1
#define STALL (-32)     /* -EPIPE in the kernel's numbering */

/* Bulk-only transport: a 31-byte command block wrapper, data, a 13-byte
 * status wrapper. */
#define CBW_SIGNATURE 0x43425355UL
#define CSW_SIGNATURE 0x53425355UL
#define BULK_IN 1
#define BULK_OUT 2

static volatile sig_atomic_t reset_requested;
static int verbose;

/* The drive's firmware: the SCSI logical unit that holds the disc. */
static struct scsi_unit unit;

/* The bulk-only transport's state: the command under way. */
static struct {
    unsigned number;
    enum { IDLE, DATA_IN, DATA_OUT, STATUS } state;
    unsigned long tag, expected, sent;
    int failed;
    size_t length;
    uint8_t data[SCSI_MAX_DATA];
} usb;

static unsigned long get_be32(const uint8_t *p)
{
    return (unsigned long)p[0] << 24 | (unsigned long)p[1] << 16 | (unsigned long)p[2] << 8 | p[3];
}

static unsigned long get_le32(const uint8_t *p)
{
    return (unsigned long)p[3] << 24 | (unsigned long)p[2] << 16 | (unsigned long)p[1] << 8 | p[0];
}

static void put_be32(uint8_t *p, unsigned long v)
{
    for (int i = 3; i >= 0; i--, v >>= 8)
        p[i] = (uint8_t)v;
}

static void put_le32(uint8_t *p, unsigned long v)
{
    for (int i = 0; i < 4; i++, v >>= 8)
        p[i] = (uint8_t)v;
}

static void die(const char *what)
{
    fprintf(stderr, "cdemu-usb: %s: %s\n", what, strerror(errno));
    exit(1);
}

static int read_full(int fd, uint8_t *buf, size_t size)
{
    for (size_t done = 0; done < size;) {
        ssize_t n = read(fd, buf + done, size - done);
        if (n == 0 && done == 0)
            return 0;
        if (n == 0)
            errno = EPROTO;
        if (n <= 0 && errno == EINTR)
            continue;
        if (n <= 0)
            die("read");
        done += (size_t)n;
    }
    return 1;
}

static void write_full(int fd, const uint8_t *buf, size_t size)
{
    for (size_t done = 0; done < size;) {
        ssize_t n = write(fd, buf + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            die("write");
        done += (size_t)n;
    }
}

static void reply(int fd, const uint8_t *request, long status, const uint8_t *data, size_t length)
{
    uint8_t header[HEADER] = {0};
    put_be32(header, RET_SUBMIT);
    memcpy(header + 4, request + 4, 4);     /* seqnum */
    put_be32(header + 20, (unsigned long)status);
    put_be32(header + 24, length);
    write_full(fd, header, sizeof header);
    if (data != NULL && length > 0)
        write_full(fd, data, length);
}

static size_t string_descriptor(const char *text, uint8_t *out)
{
    size_t n = strlen(text);
    out[0] = (uint8_t)(2 + 2 * n);
    out[1] = 3;
    for (size_t i = 0; i < n; i++) {
        out[2 + 2 * i] = (uint8_t)text[i];
        out[3 + 2 * i] = 0;
    }
    return 2 + 2 * n;
}

/* Control requests on endpoint 0: enumeration, and mass storage's own. */
static long control(const uint8_t *setup, uint8_t *out, size_t *length)
{
    static const uint8_t device[18] = {
        18, 1, 0x00, 0x02, 0, 0, 0, 64,
        0x6b, 0x1d, 0x05, 0x01,     /* Linux Foundation, FunctionFS gadget */
        0x00, 0x01, 1, 2, 3, 1,
    };
    static const uint8_t configuration[32] = {
        9, 2, 32, 0, 1, 1, 0, 0x80, 50,
        9, 4, 0, 0, 2, 0x08, 0x02, 0x50, 0,    /* mass storage, MMC, bulk-only */
        7, 5, 0x80 | BULK_IN, 2, 0x00, 0x02, 0,
        7, 5, BULK_OUT, 2, 0x00, 0x02, 0,
    };
    unsigned request = (unsigned)setup[0] << 8 | setup[1];
    unsigned type = setup[3], index = setup[2];
    char serial[16];
    *length = 0;
    switch (request) {
    case 0x8006:    /* GET_DESCRIPTOR */
        if (type == 1) {
            *length = sizeof device;
            memcpy(out, device, sizeof device);
        } else if (type == 2) {
            *length = sizeof configuration;
            memcpy(out, configuration, sizeof configuration);
        } else if (type == 3 && index == 0) {
            static const uint8_t languages[4] = {4, 3, 0x09, 0x04};
            *length = sizeof languages;
            memcpy(out, languages, sizeof languages);
        } else if (type == 3 && index <= 3) {
            snprintf(serial, sizeof serial, "CDEMU%04u", usb.number);
            const char *const texts[] = {"cdemu", "Emulated CD-ROM drive", serial};
            *length = string_descriptor(texts[index - 1], out);
        } else {
            return STALL;
        }
        return 0;
    case 0x8000:    /* GET_STATUS */
        out[0] = out[1] = 0;
        *length = 2;
        return 0;
    case 0xa1fe:    /* GET_MAX_LUN */
        out[0] = 0;
        *length = 1;
        return 0;
    case 0x2102:    /* CLEAR_FEATURE, endpoint halt */
    case 0x21ff:    /* bulk-only mass storage reset */
        usb.state = IDLE;
        return 0;
    case 0x0009:    /* SET_CONFIGURATION */
    case 0x010b:    /* SET_INTERFACE */
        return 0;
    default:
        return STALL;
    }
}

static void command(const uint8_t *cbw, size_t size)
{
    if (size != 31 || get_le32(cbw) != CBW_SIGNATURE) {
        fprintf(stderr, "cdemu-usb: not a command block (%zu bytes)\n", size);
        usb.state = IDLE;
        return;
    }
    if (reset_requested) {
        reset_requested = 0;
        scsi_reset(&unit);
    }
    uint8_t cdb[16] = {0};
    memcpy(cdb, cbw + 15, cbw[14] < 16 ? cbw[14] : 16);
    int status = scsi_command(&unit, cdb, usb.data, &usb.length);
    if (verbose) {
        char line[80];
        int n = 0;
        for (int i = 0; i < (cbw[14] < 16 ? cbw[14] : 16); i++)
            n += snprintf(line + n, sizeof line - (size_t)n, "%02x ", cdb[i]);
        if (status == SCSI_GOOD)
            snprintf(line + n, sizeof line - (size_t)n, "-> %d\n", status);
        else
            snprintf(line + n, sizeof line - (size_t)n, "-> %d %x/%02x\n", status,
                     unit.sense[0], unit.sense[1]);
        fputs(line, stderr);
    }
    usb.tag = get_le32(cbw + 4);
    usb.expected = get_le32(cbw + 8);
    usb.failed = status != SCSI_GOOD;
    usb.sent = 0;
    if (usb.length > usb.expected)
        usb.length = usb.expected;
    if (usb.expected == 0)
        usb.state = STATUS;
    else
        usb.state = cbw[12] & 0x80 ? DATA_IN : DATA_OUT;
}

/* A transfer from the drive: the data of the command, ended by a short
 * one, then its status. */
static void bulk_in(int fd, const uint8_t *request, size_t size)
{
    if (usb.state == DATA_IN) {
        size_t n = usb.length - usb.sent < size ? usb.length - usb.sent : size;
        reply(fd, request, 0, usb.data + usb.sent, n);
        usb.sent += n;
        if (n < size || usb.sent == usb.expected)
            usb.state = STATUS;
    } else if (usb.state == STATUS) {
        uint8_t csw[13];
        put_le32(csw, CSW_SIGNATURE);
        put_le32(csw + 4, usb.tag);
        put_le32(csw + 8, usb.expected - usb.sent);
        csw[12] = (uint8_t)usb.failed;
        usb.state = IDLE;
        reply(fd, request, 0, csw, size < sizeof csw ? size : sizeof csw);
    } else {
        reply(fd, request, STALL, NULL, 0);
    }
}

static void bulk_out(int fd, const uint8_t *request, const uint8_t *data, size_t size)
{
    if (usb.state == DATA_OUT) {
        /* No command this drive knows takes data: the status says so. */
        usb.sent += size;
        if (usb.sent >= usb.expected)
            usb.state = STATUS;
    } else {
        command(data, size);
    }
    reply(fd, request, 0, NULL, size);
}

static void serve(int fd)
{
    static uint8_t data[65536];
    uint8_t h[HEADER];
    while (read_full(fd, h, sizeof h)) {
        unsigned long cmd = get_be32(h), ep = get_be32(h + 16);
        if (cmd == CMD_UNLINK) {
            /* Every request is answered as it comes: nothing is left to
             * unlink. */
            uint8_t r[HEADER] = {0};
            put_be32(r, RET_UNLINK);
            memcpy(r + 4, h + 4, 4);
            write_full(fd, r, sizeof r);
            continue;
        }
        if (cmd != CMD_SUBMIT) {
            errno = EPROTO;
            die("USB/IP request");
        }
        int in = get_be32(h + 12) == DIR_IN;
        long length = (long)(int32_t)get_be32(h + 24);
        if (length < 0 || length > (long)sizeof data) {
            errno = EMSGSIZE;
            die("USB/IP request");
        }
        if (!in && !read_full(fd, data, (size_t)length)) {
            errno = EPROTO;
            die("read");
        }
        if (ep == 0) {
            size_t n = 0;
            long status = control(h + 40, data, &n);
            if (in)
                reply(fd, h, status, data, n < (size_t)length ? n : (size_t)length);
            else
                reply(fd, h, status, NULL, status == 0 ? (size_t)length : 0);
        } else if (ep == BULK_IN && in) {
            bulk_in(fd, h, (size_t)length);
        } else if (ep == BULK_OUT && !in) {
            bulk_out(fd, h, data, (size_t)length);
        } else {
            reply(fd, h, STALL, NULL, 0);
        }
    }
}

static void on_hangup(int signal)
{
    (void)signal;
    reset_requested = 1;
}

/* Plugs the drive into the first free port of the virtual controllers:
 * the kernel says EBUSY for a port in use, EINVAL past the last one. */
static void attach(int fd, pid_t server)
{
    int sys = open(ATTACH, O_WRONLY | O_CLOEXEC);
    int err = errno;
    for (unsigned port = 0; sys >= 0; port++) {
        char line[64];
        int n = snprintf(line, sizeof line, "%u %d %u %d", port, fd, usb.number + 1, HIGH_SPEED);
        if (write(sys, line, (size_t)n) == n) {
            close(sys);
            return;
        }
        err = errno;
        if (err != EBUSY)
            break;
    }
    kill(server, SIGKILL);
    errno = err;
    die(ATTACH);
}

int main(int argc, char **argv)
{
    verbose = argc > 1 && strcmp(argv[1], "-v") == 0;
    char *end = NULL;
    unsigned long number = argc == 3 + verbose ? strtoul(argv[1 + verbose], &end, 10) : 1000;
    if (end == NULL || *end != '\0' || number > 999) {
        fprintf(stderr, "usage: cdemu-usb [-v] NUMBER DISC (NUMBER from 0 to 999)\n");
        return 2;
    }
    const char *path = argv[2 + verbose];
    struct disc disc;
    char error[512];
    if (disc_load(path, &disc, error, sizeof error) != 0) {
        fprintf(stderr, "cdemu-usb: %s\n", error);
        return DISC_BAD_DESCRIPTION_STATUS;
    }
    if (scsi_check_disc(&disc, error, sizeof error) != 0) {
        fprintf(stderr, "cdemu-usb: %s: %s\n", path, error);
        return DISC_BAD_DESCRIPTION_STATUS;
    }
    usb.number = (unsigned)number;
    char product[17];
    snprintf(product, sizeof product, "disc %u", usb.number);
    scsi_init(&unit, &disc, product);

    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_hangup;
    sa.sa_flags = SA_RESTART;
    sigaction(SIGHUP, &sa, NULL);
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        die("socketpair");
    fflush(stdout);
    pid_t server = fork();
    if (server < 0)
        die("fork");
    if (server == 0) {
        close(pair[0]);
        int null = open("/dev/null", O_WRONLY);
        if (null < 0 || dup2(null, STDOUT_FILENO) < 0)
            die("/dev/null");
        close(null);
        serve(pair[1]);
        return 0;
    }
    close(pair[1]);
    attach(pair[0], server);
    close(pair[0]);
    printf("%d\n", (int)server);
    return 0;
}
