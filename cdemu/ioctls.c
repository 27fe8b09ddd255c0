#define _GNU_SOURCE
#include "ioctls.h"

#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <linux/cdrom.h>
#include <linux/stat.h>     /* struct statx, which not every C library declares */

/* A file, whatever path names it. */
struct identity {
    unsigned major, minor;
    uint64_t ino;
};

static struct {
    int loaded;
    char device[4096];
    char log_path[4096];
    int log_fd;
    struct disc disc;
    int audio_status;       /* changes when the drive is told to stop */
    long calls[OP_COUNT];
    int has_device;         /* CDEMU_DEVICE names a file: link is its identity */
    struct identity link;   /* the device path's own file, a symlink not followed */
    int by_identity;        /* the device is a regular file: see ioctls.h */
    struct identity file;   /* that file, the path followed */
} state = {.log_fd = -1};

/* The file system is reached with the system calls themselves: inside a
 * program, the library's open, close and stat may be libcdemu's own, which
 * would come back into the drive while it loads or logs. */
static int raw_open(const char *path, int flags, mode_t mode)
{
    return (int)syscall(SYS_openat, AT_FDCWD, path, flags, mode);
}

static void raw_close(int fd)
{
    syscall(SYS_close, fd);
}

/* The type and identity of path, relative to folder dirfd, or with path ""
 * of descriptor dirfd; statx has the one layout on every processor, where
 * stat's differ. */
static int raw_statx(int dirfd, const char *path, int flags, struct statx *st)
{
    if (path[0] == '\0')
        flags |= AT_EMPTY_PATH;
    return (int)syscall(SYS_statx, dirfd, path, flags, STATX_TYPE | STATX_INO, st);
}

static struct identity identity_of(const struct statx *st)
{
    return (struct identity){st->stx_dev_major, st->stx_dev_minor, st->stx_ino};
}

static int same_file(struct identity a, struct identity b)
{
    return a.major == b.major && a.minor == b.minor && a.ino == b.ino;
}

void ioctls_log(const char *fmt, ...)
{
    if (state.log_path[0] == '\0')
        return;
    if (state.log_fd < 0) {
        state.log_fd = raw_open(state.log_path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (state.log_fd < 0)
            return;
    }
    char line[256];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(line, sizeof line - 1, fmt, ap);
    va_end(ap);
    if (n < 0)
        return;
    if ((size_t)n > sizeof line - 2)
        n = sizeof line - 2;
    line[n++] = '\n';
    syscall(SYS_write, state.log_fd, line, (size_t)n);
}

static void copy_env(const char *name, char *out, size_t size)
{
    const char *v = getenv(name);
    snprintf(out, size, "%s", v != NULL ? v : "");
}

void ioctls_load(void)
{
    char disc_path[4096];
    state.loaded = 1;
    copy_env("CDEMU_DEVICE", state.device, sizeof state.device);
    copy_env("CDEMU_LOG", state.log_path, sizeof state.log_path);
    copy_env("CDEMU_DISC", disc_path, sizeof disc_path);
    if (state.log_fd >= 0) {
        raw_close(state.log_fd);
        state.log_fd = -1;
    }
    memset(state.calls, 0, sizeof state.calls);
    memset(&state.disc, 0, sizeof state.disc);
    state.disc.empty_errno = ENOMEDIUM;
    if (disc_path[0] != '\0') {
        char error[512];
        if (disc_load(disc_path, &state.disc, error, sizeof error) != 0) {
            fprintf(stderr, "cdemu: %s\n", error);
            _exit(DISC_BAD_DESCRIPTION_STATUS);
        }
    } else if (state.device[0] != '\0') {
        fprintf(stderr, "cdemu: CDEMU_DEVICE is set but CDEMU_DISC is not\n");
        _exit(DISC_BAD_DESCRIPTION_STATUS);
    }
    state.audio_status = state.disc.audio_status;
    /* The device is known by its own file, a symlink's being the link's:
     * any other spelling of its path names it too, and the file it links
     * to (/dev/null) stays itself. */
    struct statx st;
    state.has_device = state.device[0] != '\0'
        && raw_statx(AT_FDCWD, state.device, AT_SYMLINK_NOFOLLOW, &st) == 0;
    if (state.has_device)
        state.link = identity_of(&st);
    state.by_identity = state.has_device && raw_statx(AT_FDCWD, state.device, 0, &st) == 0
        && (st.stx_mode & S_IFMT) == S_IFREG;
    if (state.by_identity)
        state.file = identity_of(&st);
}

void ioctls_ensure_loaded(void)
{
    if (!state.loaded)
        ioctls_load();
}

const struct disc *ioctls_disc(void)
{
    ioctls_ensure_loaded();
    return &state.disc;
}

int ioctls_is_device_at(int dirfd, const char *path)
{
    ioctls_ensure_loaded();
    struct statx st;
    return state.has_device && path != NULL && path[0] != '\0'
           && raw_statx(dirfd, path, AT_SYMLINK_NOFOLLOW, &st) == 0
           && same_file(identity_of(&st), state.link);
}

int ioctls_is_device(const char *path)
{
    return ioctls_is_device_at(AT_FDCWD, path);
}

int ioctls_is_hidden(const char *path)
{
    static const char *const prefixes[] = {"/dev/cdrom", "/dev/hd", "/dev/scd", "/dev/sr"};
    for (size_t i = 0; path != NULL && i < sizeof prefixes / sizeof prefixes[0]; i++) {
        if (strncmp(path, prefixes[i], strlen(prefixes[i])) == 0)
            return !ioctls_is_device(path);
    }
    return 0;
}

int ioctls_is_mount_table(const char *path)
{
    static const char *const tables[] = {"/etc/mtab", "/etc/fstab", "/proc/mounts",
                                         "/proc/self/mounts"};
    for (size_t i = 0; path != NULL && i < sizeof tables / sizeof tables[0]; i++) {
        if (strcmp(path, tables[i]) == 0)
            return 1;
    }
    return 0;
}

static int handle_index(const struct ioctls_handles *h, int fd)
{
    for (int i = 0; i < h->count; i++) {
        if (h->fds[i] == fd)
            return i;
    }
    return -1;
}

int ioctls_is_handle(const struct ioctls_handles *h, int fd)
{
    return handle_index(h, fd) >= 0;
}

static void add_handle(struct ioctls_handles *h, int fd)
{
    if (h->count == IOCTLS_MAX_HANDLES) {
        fprintf(stderr, "cdemu: more than %d open handles\n", IOCTLS_MAX_HANDLES);
        abort();
    }
    h->fds[h->count++] = fd;
}

int ioctls_is_device_fd(int fd)
{
    ioctls_ensure_loaded();
    struct statx st;
    return state.by_identity && raw_statx(fd, "", 0, &st) == 0
           && same_file(identity_of(&st), state.file);
}

/* Counts a call of op; returns the errno it is to fail with, or 0. */
static int call_failure(enum disc_op op)
{
    return disc_failure(&state.disc, op, ++state.calls[op]);
}

static int fail_with(int err)
{
    errno = err;
    return -1;
}

int ioctls_before_open(void)
{
    int err = call_failure(OP_OPEN);
    if (err == 0)
        return 0;
    ioctls_log("open !%s", disc_errno_name(err));
    return fail_with(err);
}

int ioctls_after_open(struct ioctls_handles *h, int fd)
{
    if (fd < 0) {
        ioctls_log("open !%s", disc_errno_name(errno));
        return fd;
    }
    /* A descriptor number the drive still holds was closed behind its back
     * (by a call it does not see): it is this open's now. */
    if (!ioctls_is_handle(h, fd))
        add_handle(h, fd);
    ioctls_log("open");
    return fd;
}

void ioctls_close_range(struct ioctls_handles *h, unsigned first, unsigned last)
{
    for (int i = h->count - 1; i >= 0; i--) {
        if ((unsigned)h->fds[i] >= first && (unsigned)h->fds[i] <= last)
            ioctls_close(h, h->fds[i]);
    }
}

void ioctls_own_closing(unsigned first, unsigned last)
{
    if (state.log_fd >= 0 && (unsigned)state.log_fd >= first && (unsigned)state.log_fd <= last)
        state.log_fd = -1;
}

void ioctls_close(struct ioctls_handles *h, int fd)
{
    int i = handle_index(h, fd);
    if (i >= 0) {
        h->fds[i] = h->fds[--h->count];
        ioctls_log("close");
    }
}

void ioctls_dup(struct ioctls_handles *h, int fd, int copy)
{
    if (copy == fd)
        return;
    ioctls_close(h, copy);
    if (ioctls_is_handle(h, fd))
        add_handle(h, copy);
}

static void put_msf(long address, struct cdrom_msf0 *out)
{
    struct disc_msf msf = disc_msf(address);
    out->minute = msf.minute;
    out->second = msf.second;
    out->frame = msf.frame;
}

static int serve_subchnl(struct cdrom_subchnl *sc)
{
    /* Linux's cdrom driver leaves cdsc_adr as the caller had it. A drive
     * that answers without a disc (empty sr) has no position to give. */
    int position = disc_present(&state.disc);
    sc->cdsc_audiostatus = (uint8_t)state.audio_status;
    sc->cdsc_ctrl = 0;
    sc->cdsc_trk = (uint8_t)(position ? state.disc.first : 0);
    sc->cdsc_ind = (uint8_t)position;
    memset(&sc->cdsc_absaddr, 0, sizeof sc->cdsc_absaddr);
    memset(&sc->cdsc_reladdr, 0, sizeof sc->cdsc_reladdr);
    if (position && sc->cdsc_format == CDROM_MSF)
        put_msf(disc_rest_address(&state.disc), &sc->cdsc_absaddr.msf);
    return 0;
}

static int serve_tocentry(struct cdrom_tocentry *e)
{
    int i = disc_entry_index(&state.disc, e->cdte_track);
    if (i < 0)
        return fail_with(EIO);
    struct disc_entry entry = disc_entry_at(&state.disc, i);
    e->cdte_adr = 1;
    e->cdte_ctrl = entry.data ? CDROM_DATA_TRACK : 0;
    e->cdte_datamode = (uint8_t)entry.data;  /* as Linux's sr driver derives it */
    if (e->cdte_format == CDROM_MSF)
        put_msf(entry.address, &e->cdte_addr.msf);
    else if (e->cdte_format == CDROM_LBA)
        e->cdte_addr.lba = (int)disc_lba(entry.address);
    else
        return fail_with(EINVAL);
    return 0;
}

static int serve(enum disc_op op, void *arg)
{
    int err = call_failure(op);
    if (err != 0)
        return fail_with(err);
    switch (op) {
    case OP_SUBCHNL:
        return serve_subchnl(arg);
    case OP_TOCHDR: {
        struct cdrom_tochdr *h = arg;
        h->cdth_trk0 = (uint8_t)disc_header_first(&state.disc);
        h->cdth_trk1 = (uint8_t)disc_header_last(&state.disc);
        return 0;
    }
    case OP_TOCENTRY:
        return serve_tocentry(arg);
    case OP_STOP:
        if (disc_present(&state.disc))  /* without a disc nothing plays */
            state.audio_status = CDROM_AUDIO_NO_STATUS;
        return 0;
    default:
        return fail_with(EINVAL);
    }
}

static int request_op(unsigned long request, enum disc_op *op)
{
    switch (request) {
    case CDROMSUBCHNL: *op = OP_SUBCHNL; return 0;
    case CDROMREADTOCHDR: *op = OP_TOCHDR; return 0;
    case CDROMREADTOCENTRY: *op = OP_TOCENTRY; return 0;
    case CDROMSTOP: *op = OP_STOP; return 0;
    default: return -1;
    }
}

size_t ioctls_arg_size(unsigned long request)
{
    switch (request) {
    case CDROMSUBCHNL: return sizeof(struct cdrom_subchnl);
    case CDROMREADTOCHDR: return sizeof(struct cdrom_tochdr);
    case CDROMREADTOCENTRY: return sizeof(struct cdrom_tocentry);
    default: return 0;
    }
}

int ioctls_serve(unsigned long request, void *arg)
{
    enum disc_op op;
    if (request_op(request, &op) != 0) {
        ioctls_log("ioctl 0x%lx !EINVAL", request);
        return fail_with(EINVAL);
    }
    int rc = serve(op, arg);
    int err = errno;
    char what[64];
    if (op == OP_TOCENTRY)
        snprintf(what, sizeof what, "%s %d", disc_op_name(op),
                 ((struct cdrom_tocentry *)arg)->cdte_track);
    else
        snprintf(what, sizeof what, "%s", disc_op_name(op));
    if (rc == 0)
        ioctls_log("%s", what);
    else
        ioctls_log("%s !%s", what, disc_errno_name(err));
    errno = err;
    return rc;
}
