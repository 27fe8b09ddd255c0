/*
 * The emulated CD-ROM drive's ioctl layer: the disc in it (what the disc
 * means is disc.h's), the descriptors open on it, the answers to the CD-ROM
 * ioctls, the count of calls that injected failures go by, and the call
 * log. Both ways into a program use it: libcdemu.so, which a program loads
 * with LD_PRELOAD, and cdemu-run, which traces a program's system calls.
 * Calls that fail return -1 with errno set, as the system calls do.
 */
#ifndef CDEMU_IOCTLS_H
#define CDEMU_IOCTLS_H

#include <stddef.h>

#include "disc.h"

/* (Re)reads CDEMU_DEVICE, CDEMU_DISC and CDEMU_LOG, loads the disc and
 * restarts the per-operation call counts; open descriptors stay the drive's.
 * A description that cannot be read ends the process with
 * DISC_BAD_DESCRIPTION_STATUS and "cdemu: FILE:LINE: what" on stderr. */
void ioctls_load(void);

/* Loads the drive on first use. */
void ioctls_ensure_loaded(void);

const struct disc *ioctls_disc(void);

/* Whether path, relative to folder dirfd (AT_FDCWD: the working folder),
 * is the drive's device, CDEMU_DEVICE: the very file, however its path is
 * spelt (relative, through "..", through a linked folder, a hard link). A
 * symlink device is the link itself, not the file it links to. */
int ioctls_is_device_at(int dirfd, const char *path);
int ioctls_is_device(const char *path);

/* Whether path is one of the machine's own drives, which stay hidden. */
int ioctls_is_hidden(const char *path);

/* Whether path is a mount table, which lists no drive while emulating. */
int ioctls_is_mount_table(const char *path);

/* The descriptors on the drive in one process (one descriptor table). A
 * forked child starts with a copy of its parent's. */
#define IOCTLS_MAX_HANDLES 64
struct ioctls_handles {
    int fds[IOCTLS_MAX_HANDLES];
    int count;
};

/* Around the real open of the device: before it, 0 to go on or -1 when the
 * description fails this open; after it, the descriptor it returned (or -1
 * with errno) becomes the drive's. */
int ioctls_before_open(void);
int ioctls_after_open(struct ioctls_handles *h, int fd);

int ioctls_is_handle(const struct ioctls_handles *h, int fd);

/* Whether descriptor fd is the drive by identity. When CDEMU_DEVICE is a
 * regular file, any descriptor of that very file is the drive, however it
 * reached the program: Wine's server opens the drive itself and hands the
 * program a descriptor. A device path that is a symlink to /dev/null is
 * recognised by its open only. */
int ioctls_is_device_fd(int fd);

/* Descriptor fd is being closed: if it is the drive's, it is no longer.
 * The same for each of first to last (close_range, closefrom). */
void ioctls_close(struct ioctls_handles *h, int fd);
void ioctls_close_range(struct ioctls_handles *h, unsigned first, unsigned last);

/* The descriptors first to last of the process the drive runs in are
 * being closed or replaced, by the program (libcdemu.so): the call log,
 * if it is among them, is opened again when next written, never written
 * through a number the program may have reused. */
void ioctls_own_closing(unsigned first, unsigned last);

/* fd was duplicated as copy (dup, dup2, dup3, fcntl F_DUPFD): copy is the
 * drive's if fd is, and a drive descriptor that copy replaced is closed. */
void ioctls_dup(struct ioctls_handles *h, int fd, int copy);

/* How many bytes of argument a CD-ROM ioctl reads and writes. */
size_t ioctls_arg_size(unsigned long request);

/* Serves an ioctl on a drive descriptor. */
int ioctls_serve(unsigned long request, void *arg);

/* Appends a line to CDEMU_LOG, if set. */
void ioctls_log(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

#endif
