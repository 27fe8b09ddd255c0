/*
 * An emulated CD-ROM drive for tests, loaded with LD_PRELOAD or linked in.
 *
 * It answers for one device path (CDEMU_DEVICE; a symlink to /dev/null passes
 * SDL's device check): opening it opens the real target, and the CD-ROM
 * ioctls on that descriptor are served from the disc described in the file
 * CDEMU_DISC. Every call it serves, and SDL's start and shut-down, is
 * appended to CDEMU_LOG, one line each. The machine's own drives and mount
 * tables are hidden, so that with no CDEMU_DEVICE there is no drive at all.
 * Everything else passes through to the next library. Single-threaded.
 */
#define _GNU_SOURCE
#include "cdemu.h"

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <mntent.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <linux/cdrom.h>

#include "disc.h"

#define EXPORT __attribute__((visibility("default")))
#define MAX_HANDLES 64
#define BAD_DESCRIPTION_STATUS 97

static struct {
    int loaded;
    char device[4096];
    char log_path[4096];
    int log_fd;
    struct disc disc;
    int audio_status;       /* changes when the drive is told to stop */
    long calls[OP_COUNT];
    int handles[MAX_HANDLES];
    int nhandles;
} emu = {.log_fd = -1};

typedef void (*function)(void);

static function next_symbol(const char *name)
{
    void *sym = dlsym(RTLD_NEXT, name);
    if (sym == NULL) {
        fprintf(stderr, "cdemu: no next definition of %s\n", name);
        abort();
    }
    /* dlsym returns functions as object pointers; copy, not convert. */
    function f;
    memcpy(&f, &sym, sizeof f);
    return f;
}

#define NEXT(name, type) ((type)next_symbol(name))

static void emu_log(const char *fmt, ...)
{
    if (emu.log_path[0] == '\0')
        return;
    if (emu.log_fd < 0) {
        int (*real_open)(const char *, int, ...) = NEXT("open", int (*)(const char *, int, ...));
        emu.log_fd = real_open(emu.log_path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (emu.log_fd < 0)
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
    ssize_t ignored = write(emu.log_fd, line, (size_t)n);
    (void)ignored;
}

static void copy_env(const char *name, char *out, size_t size)
{
    const char *v = getenv(name);
    snprintf(out, size, "%s", v != NULL ? v : "");
}

EXPORT void cdemu_reload(void)
{
    char disc_path[4096];
    emu.loaded = 1;
    copy_env("CDEMU_DEVICE", emu.device, sizeof emu.device);
    copy_env("CDEMU_LOG", emu.log_path, sizeof emu.log_path);
    copy_env("CDEMU_DISC", disc_path, sizeof disc_path);
    if (emu.log_fd >= 0) {
        NEXT("close", int (*)(int))(emu.log_fd);
        emu.log_fd = -1;
    }
    memset(emu.calls, 0, sizeof emu.calls);
    memset(&emu.disc, 0, sizeof emu.disc);
    emu.disc.empty_errno = ENOMEDIUM;
    if (disc_path[0] != '\0') {
        char error[512];
        if (disc_load(disc_path, &emu.disc, error, sizeof error) != 0) {
            fprintf(stderr, "cdemu: %s\n", error);
            _exit(BAD_DESCRIPTION_STATUS);
        }
    } else if (emu.device[0] != '\0') {
        fprintf(stderr, "cdemu: CDEMU_DEVICE is set but CDEMU_DISC is not\n");
        _exit(BAD_DESCRIPTION_STATUS);
    }
    emu.audio_status = emu.disc.audio_status;
}

static void ensure_loaded(void)
{
    if (!emu.loaded)
        cdemu_reload();
}

static int is_device(const char *path)
{
    ensure_loaded();
    return path != NULL && emu.device[0] != '\0' && strcmp(path, emu.device) == 0;
}

static int handle_index(int fd)
{
    for (int i = 0; i < emu.nhandles; i++) {
        if (emu.handles[i] == fd)
            return i;
    }
    return -1;
}

/* Counts a call of op; returns the errno it is to fail with, or 0. */
static int injected_failure(enum disc_op op)
{
    long call = ++emu.calls[op];
    for (int i = 0; i < emu.disc.nfails; i++) {
        const struct disc_fail *f = &emu.disc.fails[i];
        if (f->op == op && call >= f->from && (f->count == 0 || call < f->from + f->count))
            return f->err;
    }
    return 0;
}

static int fail_with(int err)
{
    errno = err;
    return -1;
}

/* ---- files ---- */

/* Before the real open of the device: 0 to go on, or -1 with errno set when
 * the description makes this open fail. */
static int before_device_open(void)
{
    int err = injected_failure(OP_OPEN);
    if (err == 0)
        return 0;
    emu_log("open !%s", disc_errno_name(err));
    return fail_with(err);
}

/* After it: the descriptor is the drive's from now on. */
static int after_device_open(int fd)
{
    if (fd < 0) {
        emu_log("open !%s", disc_errno_name(errno));
        return fd;
    }
    if (emu.nhandles == MAX_HANDLES) {
        fprintf(stderr, "cdemu: more than %d open handles\n", MAX_HANDLES);
        abort();
    }
    emu.handles[emu.nhandles++] = fd;
    emu_log("open");
    return fd;
}

static mode_t mode_argument(int flags, va_list ap)
{
    return (flags & (O_CREAT | O_TMPFILE)) != 0 ? (mode_t)va_arg(ap, int) : 0;
}

#define DEFINE_OPEN(name)                                                         \
    EXPORT int name(const char *path, int flags, ...)                            \
    {                                                                             \
        va_list ap;                                                               \
        va_start(ap, flags);                                                      \
        mode_t mode = mode_argument(flags, ap);                                   \
        va_end(ap);                                                               \
        int (*real)(const char *, int, ...) = NEXT(#name, int (*)(const char *, int, ...)); \
        if (!is_device(path))                                                     \
            return real(path, flags, mode);                                       \
        if (before_device_open() != 0)                                            \
            return -1;                                                            \
        return after_device_open(real(path, flags, mode));                        \
    }

DEFINE_OPEN(open)
DEFINE_OPEN(open64)

#define DEFINE_OPENAT(name)                                                       \
    EXPORT int name(int dirfd, const char *path, int flags, ...)                 \
    {                                                                             \
        va_list ap;                                                               \
        va_start(ap, flags);                                                      \
        mode_t mode = mode_argument(flags, ap);                                   \
        va_end(ap);                                                               \
        int (*real)(int, const char *, int, ...) =                                \
            NEXT(#name, int (*)(int, const char *, int, ...));                    \
        if (!is_device(path) || (path[0] != '/' && dirfd != AT_FDCWD))            \
            return real(dirfd, path, flags, mode);                                \
        if (before_device_open() != 0)                                            \
            return -1;                                                            \
        return after_device_open(real(dirfd, path, flags, mode));                 \
    }

DEFINE_OPENAT(openat)
DEFINE_OPENAT(openat64)

EXPORT int close(int fd)
{
    int i = handle_index(fd);
    if (i >= 0) {
        emu.handles[i] = emu.handles[--emu.nhandles];
        emu_log("close");
    }
    return NEXT("close", int (*)(int))(fd);
}

/* Drives on the machine itself are never seen while the emulator is loaded. */
static int is_hidden(const char *path)
{
    static const char *const prefixes[] = {"/dev/cdrom", "/dev/hd", "/dev/scd", "/dev/sr"};
    if (path == NULL || is_device(path))
        return 0;
    for (size_t i = 0; i < sizeof prefixes / sizeof prefixes[0]; i++) {
        if (strncmp(path, prefixes[i], strlen(prefixes[i])) == 0)
            return 1;
    }
    return 0;
}

EXPORT int stat(const char *restrict path, struct stat *restrict buf)
{
    if (is_hidden(path))
        return fail_with(ENOENT);
    return NEXT("stat", int (*)(const char *, struct stat *))(path, buf);
}

EXPORT int stat64(const char *restrict path, struct stat64 *restrict buf)
{
    if (is_hidden(path))
        return fail_with(ENOENT);
    return NEXT("stat64", int (*)(const char *, struct stat64 *))(path, buf);
}

/* The entry points of glibc before 2.33, still used by older binaries. */
EXPORT int __xstat(int ver, const char *path, struct stat *buf)
{
    if (is_hidden(path))
        return fail_with(ENOENT);
    return NEXT("__xstat", int (*)(int, const char *, struct stat *))(ver, path, buf);
}

EXPORT int __xstat64(int ver, const char *path, struct stat64 *buf)
{
    if (is_hidden(path))
        return fail_with(ENOENT);
    return NEXT("__xstat64", int (*)(int, const char *, struct stat64 *))(ver, path, buf);
}

EXPORT struct mntent *getmntent(FILE *stream)
{
    (void)stream;
    return NULL;
}

EXPORT struct mntent *getmntent_r(FILE *stream, struct mntent *mnt, char *buf, int size)
{
    (void)stream;
    (void)mnt;
    (void)buf;
    (void)size;
    return NULL;
}

/* ---- the drive ---- */

static void to_msf(long frames, struct cdrom_msf0 *msf)
{
    msf->minute = (uint8_t)(frames / 4500);
    msf->second = (uint8_t)(frames / 75 % 60);
    msf->frame = (uint8_t)(frames % 75);
}

static int header_first(void)
{
    return emu.disc.header_first >= 0 ? emu.disc.header_first : emu.disc.first;
}

static int header_last(void)
{
    return emu.disc.header_last >= 0 ? emu.disc.header_last
                                     : emu.disc.first + emu.disc.ntracks - 1;
}

static int serve_subchnl(struct cdrom_subchnl *sc)
{
    sc->cdsc_audiostatus = (uint8_t)emu.audio_status;
    sc->cdsc_adr = 1;
    sc->cdsc_ctrl = 0;
    sc->cdsc_trk = (uint8_t)emu.disc.first;
    sc->cdsc_ind = 1;
    memset(&sc->cdsc_absaddr, 0, sizeof sc->cdsc_absaddr);
    memset(&sc->cdsc_reladdr, 0, sizeof sc->cdsc_reladdr);
    if (sc->cdsc_format == CDROM_MSF)
        to_msf(emu.disc.ntracks > 0 ? emu.disc.start[0] : 150, &sc->cdsc_absaddr.msf);
    return 0;
}

static int serve_tocentry(struct cdrom_tocentry *e)
{
    long start;
    int data;
    if (e->cdte_track == CDROM_LEADOUT) {
        start = emu.disc.leadout;
        data = 0;
    } else {
        int i = e->cdte_track - emu.disc.first;
        if (i < 0 || i >= emu.disc.ntracks)
            return fail_with(EIO);
        start = emu.disc.start[i];
        data = emu.disc.data[i];
    }
    e->cdte_adr = 1;
    e->cdte_ctrl = data ? CDROM_DATA_TRACK : 0;
    e->cdte_datamode = 0;
    if (e->cdte_format == CDROM_MSF)
        to_msf(start, &e->cdte_addr.msf);
    else if (e->cdte_format == CDROM_LBA)
        e->cdte_addr.lba = (int)(start - 150);
    else
        return fail_with(EINVAL);
    return 0;
}

static int serve(enum disc_op op, void *arg)
{
    int err = injected_failure(op);
    if (err != 0)
        return fail_with(err);
    if (op != OP_STOP && emu.disc.empty_errno != 0
        && !(op == OP_SUBCHNL && emu.disc.empty_subchnl_ok))
        return fail_with(emu.disc.empty_errno);
    switch (op) {
    case OP_SUBCHNL:
        return serve_subchnl(arg);
    case OP_TOCHDR: {
        struct cdrom_tochdr *h = arg;
        h->cdth_trk0 = (uint8_t)header_first();
        h->cdth_trk1 = (uint8_t)header_last();
        return 0;
    }
    case OP_TOCENTRY:
        return serve_tocentry(arg);
    case OP_STOP:
        emu.audio_status = CDROM_AUDIO_NO_STATUS;
        return 0;
    default:
        return fail_with(EINVAL);
    }
}

static int drive_ioctl(unsigned long request, void *arg)
{
    enum disc_op op;
    switch (request) {
    case CDROMSUBCHNL: op = OP_SUBCHNL; break;
    case CDROMREADTOCHDR: op = OP_TOCHDR; break;
    case CDROMREADTOCENTRY: op = OP_TOCENTRY; break;
    case CDROMSTOP: op = OP_STOP; break;
    default:
        emu_log("ioctl 0x%lx !EINVAL", request);
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
        emu_log("%s", what);
    else
        emu_log("%s !%s", what, disc_errno_name(err));
    errno = err;
    return rc;
}

EXPORT int ioctl(int fd, unsigned long request, ...)
{
    va_list ap;
    va_start(ap, request);
    void *arg = va_arg(ap, void *);
    va_end(ap);
    ensure_loaded();
    if (handle_index(fd) >= 0)
        return drive_ioctl(request, arg);
    return NEXT("ioctl", int (*)(int, unsigned long, ...))(fd, request, arg);
}

#ifndef CDEMU_WITHOUT_SDL

/* ---- SDL's start and shut-down, logged and, when described, failed ---- */

#define SDL_INIT_CDROM 0x00000100u

static int sdl_fail(const char *text)
{
    NEXT("SDL_SetError", void (*)(const char *, ...))("%s", text);
    return -1;
}

EXPORT int SDL_Init(uint32_t flags)
{
    ensure_loaded();
    if (emu.disc.sdl_init_error[0] != '\0') {
        emu_log("SDL_Init 0x%x !injected", flags);
        return sdl_fail(emu.disc.sdl_init_error);
    }
    emu_log("SDL_Init 0x%x", flags);
    return NEXT("SDL_Init", int (*)(uint32_t))(flags);
}

EXPORT int SDL_InitSubSystem(uint32_t flags)
{
    ensure_loaded();
    if ((flags & SDL_INIT_CDROM) != 0 && emu.disc.sdl_cdrom_error[0] != '\0') {
        emu_log("SDL_InitSubSystem 0x%x !injected", flags);
        return sdl_fail(emu.disc.sdl_cdrom_error);
    }
    emu_log("SDL_InitSubSystem 0x%x", flags);
    return NEXT("SDL_InitSubSystem", int (*)(uint32_t))(flags);
}

/* Not logged: it is no start or shut-down, and the log may call it. */
EXPORT void *SDL_CreateMutex(void)
{
    ensure_loaded();
    if (emu.disc.sdl_mutex_error[0] != '\0') {
        sdl_fail(emu.disc.sdl_mutex_error);
        return NULL;
    }
    return NEXT("SDL_CreateMutex", void *(*)(void))();
}

EXPORT void SDL_Quit(void)
{
    ensure_loaded();
    emu_log("SDL_Quit");
    NEXT("SDL_Quit", void (*)(void))();
}

#endif
