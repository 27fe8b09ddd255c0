/*
 * The emulated CD-ROM drive's way into a program that loads shared
 * libraries: loaded with LD_PRELOAD, or linked in ahead of SDL.
 *
 * It answers for one device (CDEMU_DEVICE, known by its file however a path
 * spells it; a symlink to /dev/null passes SDL's device check, and is then
 * the link itself): opening it opens the real target, and the CD-ROM
 * ioctls on that descriptor are served by the drive (ioctls.c) from the disc
 * described in the file CDEMU_DISC. Every call it serves, and SDL's start and
 * shut-down, is appended to CDEMU_LOG, one line each. The machine's own
 * drives and mount tables are hidden, so that with no CDEMU_DEVICE there is
 * no drive at all. Everything else passes through to the next library.
 * Single-threaded. A descriptor stays the drive's in a forked child and in
 * its copies (dup, dup2, dup3, fcntl F_DUPFD); not across exec, which
 * starts the library afresh, nor across close_range and closefrom. A vfork
 * is a fork here, as vfork's contract allows: a vfork child shares its
 * parent's memory, and its close would be its parent's.
 */
#define _GNU_SOURCE
/* Each entry point is defined here under its own name: the C library's
 * headers would rename open, fcntl, ioctl and stat to their large-file or
 * 64-bit-time entry points, which are defined beside them. */
#undef _FILE_OFFSET_BITS
#undef _TIME_BITS
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

#include "ioctls.h"

/* The entry points of glibc 2.34 and later: close_range and closefrom,
 * and on 32-bit processors those that a program built with 64-bit time
 * (_TIME_BITS=64) calls for fcntl, ioctl and stat. */
#ifdef __GLIBC__
#if __GLIBC_PREREQ(2, 34)
#define CDEMU_GLIBC_2_34 1
#if __TIMESIZE == 32
#define CDEMU_TIME64 1
#endif
#endif
#endif

#define EXPORT __attribute__((visibility("default")))

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

EXPORT void cdemu_reload(void)
{
    ioctls_load();
}

/* ---- files ---- */

/* The drive's descriptors in this process; a forked child's memory, and so
 * its copy, is its own. */
static struct ioctls_handles handles;

/* open's mode is passed only with flags that make a file: O_CREAT, or
 * O_TMPFILE, whose bits include O_DIRECTORY's. */
static mode_t mode_argument(int flags, va_list ap)
{
    int creates = (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
    return creates ? (mode_t)va_arg(ap, int) : 0;
}

#define DEFINE_OPEN(name)                                                         \
    EXPORT int name(const char *path, int flags, ...)                            \
    {                                                                             \
        va_list ap;                                                               \
        va_start(ap, flags);                                                      \
        mode_t mode = mode_argument(flags, ap);                                   \
        va_end(ap);                                                               \
        int (*real)(const char *, int, ...) = NEXT(#name, int (*)(const char *, int, ...)); \
        if (!ioctls_is_device(path))                                              \
            return real(path, flags, mode);                                       \
        if (ioctls_before_open() != 0)                                            \
            return -1;                                                            \
        return ioctls_after_open(&handles, real(path, flags, mode));              \
    }

DEFINE_OPEN(open)
#ifdef __GLIBC__
DEFINE_OPEN(open64)
#endif

#define DEFINE_OPENAT(name)                                                       \
    EXPORT int name(int dirfd, const char *path, int flags, ...)                 \
    {                                                                             \
        va_list ap;                                                               \
        va_start(ap, flags);                                                      \
        mode_t mode = mode_argument(flags, ap);                                   \
        va_end(ap);                                                               \
        int (*real)(int, const char *, int, ...) =                                \
            NEXT(#name, int (*)(int, const char *, int, ...));                    \
        if (!ioctls_is_device_at(dirfd, path))                                    \
            return real(dirfd, path, flags, mode);                                \
        if (ioctls_before_open() != 0)                                            \
            return -1;                                                            \
        return ioctls_after_open(&handles, real(dirfd, path, flags, mode));       \
    }

DEFINE_OPENAT(openat)
#ifdef __GLIBC__
DEFINE_OPENAT(openat64)
#endif

EXPORT int close(int fd)
{
    ioctls_close(&handles, fd);
    ioctls_own_closing((unsigned)fd, (unsigned)fd);
    return NEXT("close", int (*)(int))(fd);
}

#ifdef CDEMU_GLIBC_2_34
/* With CLOSE_RANGE_CLOEXEC they close at exec, which forgets them anyway. */
EXPORT int close_range(unsigned int first, unsigned int last, int flags)
{
    int result = NEXT("close_range", int (*)(unsigned int, unsigned int, int))(first, last, flags);
    if (result == 0 && (flags & CLOSE_RANGE_CLOEXEC) == 0) {
        ioctls_close_range(&handles, first, last);
        ioctls_own_closing(first, last);
    }
    return result;
}

EXPORT void closefrom(int first)
{
    if (first >= 0) {
        ioctls_close_range(&handles, (unsigned)first, ~0u);
        ioctls_own_closing((unsigned)first, ~0u);
    }
    NEXT("closefrom", void (*)(int))(first);
}
#endif

/* A fork, the child with memory of its own: allowed by vfork's contract. */
EXPORT pid_t vfork(void)
{
    return NEXT("fork", pid_t (*)(void))();
}

/* A copy of a drive descriptor is the drive's too. */
EXPORT int dup(int fd)
{
    int copy = NEXT("dup", int (*)(int))(fd);
    if (copy >= 0)
        ioctls_dup(&handles, fd, copy);
    return copy;
}

/* A copy made over another descriptor closes that one. */
EXPORT int dup2(int fd, int copy)
{
    int result = NEXT("dup2", int (*)(int, int))(fd, copy);
    if (result >= 0) {
        ioctls_dup(&handles, fd, result);
        if (result != fd)
            ioctls_own_closing((unsigned)result, (unsigned)result);
    }
    return result;
}

EXPORT int dup3(int fd, int copy, int flags)
{
    int result = NEXT("dup3", int (*)(int, int, int))(fd, copy, flags);
    if (result >= 0) {
        ioctls_dup(&handles, fd, result);
        ioctls_own_closing((unsigned)result, (unsigned)result);
    }
    return result;
}

/* fcntl's third argument is read as the command passes it: none, an int,
 * or (the locks, the owner, the hints) a pointer. */
#define DEFINE_FCNTL(name)                                                        \
    EXPORT int name(int fd, int cmd, ...)                                        \
    {                                                                             \
        int (*real)(int, int, ...) = NEXT(#name, int (*)(int, int, ...));        \
        va_list ap;                                                               \
        va_start(ap, cmd);                                                        \
        int result;                                                               \
        switch (cmd) {                                                            \
        case F_GETFD: case F_GETFL: case F_GETOWN: case F_GETSIG: case F_GETLEASE: \
        case F_GETPIPE_SZ: case F_GET_SEALS:                                      \
            result = real(fd, cmd);                                               \
            break;                                                                \
        case F_DUPFD: case F_DUPFD_CLOEXEC: case F_SETFD: case F_SETFL:           \
        case F_SETOWN: case F_SETSIG: case F_SETLEASE: case F_NOTIFY:             \
        case F_SETPIPE_SZ: case F_ADD_SEALS:                                      \
            result = real(fd, cmd, va_arg(ap, int));                              \
            break;                                                                \
        default:                                                                  \
            result = real(fd, cmd, va_arg(ap, void *));                           \
        }                                                                         \
        va_end(ap);                                                               \
        if ((cmd == F_DUPFD || cmd == F_DUPFD_CLOEXEC) && result >= 0)            \
            ioctls_dup(&handles, fd, result);                                     \
        return result;                                                            \
    }

DEFINE_FCNTL(fcntl)
#ifdef __GLIBC__
/* What fcntl is called with _FILE_OFFSET_BITS=64, from glibc 2.28 on. */
DEFINE_FCNTL(fcntl64)
#endif
#ifdef CDEMU_TIME64
DEFINE_FCNTL(__fcntl_time64)
#endif

static int hidden(void)
{
    errno = ENOENT;
    return -1;
}

EXPORT int stat(const char *restrict path, struct stat *restrict buf)
{
    if (ioctls_is_hidden(path))
        return hidden();
    return NEXT("stat", int (*)(const char *, struct stat *))(path, buf);
}

/* glibc's own entry points: stat64 for large files, where other C
 * libraries make stat serve, and those of glibc before 2.33, still used by
 * older binaries. */
#ifdef __GLIBC__
EXPORT int stat64(const char *restrict path, struct stat64 *restrict buf)
{
    if (ioctls_is_hidden(path))
        return hidden();
    return NEXT("stat64", int (*)(const char *, struct stat64 *))(path, buf);
}

EXPORT int __xstat(int ver, const char *path, struct stat *buf)
{
    if (ioctls_is_hidden(path))
        return hidden();
    return NEXT("__xstat", int (*)(int, const char *, struct stat *))(ver, path, buf);
}

EXPORT int __xstat64(int ver, const char *path, struct stat64 *buf)
{
    if (ioctls_is_hidden(path))
        return hidden();
    return NEXT("__xstat64", int (*)(int, const char *, struct stat64 *))(ver, path, buf);
}
#endif

#ifdef CDEMU_TIME64
/* Its structure is glibc's own (struct __stat64_t64): passed on untouched. */
EXPORT int __stat64_time64(const char *path, void *buf)
{
    if (ioctls_is_hidden(path))
        return hidden();
    return NEXT("__stat64_time64", int (*)(const char *, void *))(path, buf);
}
#endif

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

/* glibc declares the request unsigned long; musl, as POSIX does, int. */
#ifdef __GLIBC__
typedef unsigned long ioctl_request;
#else
typedef int ioctl_request;
#endif

#define DEFINE_IOCTL(name)                                                        \
    EXPORT int name(int fd, ioctl_request request, ...)                          \
    {                                                                             \
        va_list ap;                                                               \
        va_start(ap, request);                                                    \
        void *arg = va_arg(ap, void *);                                           \
        va_end(ap);                                                               \
        ioctls_ensure_loaded();                                                   \
        if (ioctls_is_handle(&handles, fd) || ioctls_is_device_fd(fd))            \
            return ioctls_serve((unsigned int)request, arg);                      \
        return NEXT(#name, int (*)(int, ioctl_request, ...))(fd, request, arg);   \
    }

DEFINE_IOCTL(ioctl)
#ifdef CDEMU_TIME64
DEFINE_IOCTL(__ioctl_time64)
#endif

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
    ioctls_ensure_loaded();
    if (ioctls_disc()->sdl_init_error[0] != '\0') {
        ioctls_log("SDL_Init 0x%x !injected", flags);
        return sdl_fail(ioctls_disc()->sdl_init_error);
    }
    ioctls_log("SDL_Init 0x%x", flags);
    return NEXT("SDL_Init", int (*)(uint32_t))(flags);
}

EXPORT int SDL_InitSubSystem(uint32_t flags)
{
    ioctls_ensure_loaded();
    if ((flags & SDL_INIT_CDROM) != 0 && ioctls_disc()->sdl_cdrom_error[0] != '\0') {
        ioctls_log("SDL_InitSubSystem 0x%x !injected", flags);
        return sdl_fail(ioctls_disc()->sdl_cdrom_error);
    }
    ioctls_log("SDL_InitSubSystem 0x%x", flags);
    return NEXT("SDL_InitSubSystem", int (*)(uint32_t))(flags);
}

/* Not logged: it is no start or shut-down, and the log may call it. */
EXPORT void *SDL_CreateMutex(void)
{
    ioctls_ensure_loaded();
    if (ioctls_disc()->sdl_mutex_error[0] != '\0') {
        sdl_fail(ioctls_disc()->sdl_mutex_error);
        return NULL;
    }
    return NEXT("SDL_CreateMutex", void *(*)(void))();
}

EXPORT void SDL_Quit(void)
{
    ioctls_ensure_loaded();
    ioctls_log("SDL_Quit");
    NEXT("SDL_Quit", void (*)(void))();
}

#endif
