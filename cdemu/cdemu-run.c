/*
 * cdemu-run: runs a program with the emulated CD-ROM drive attached from
 * outside it. Where libcdemu.so needs the program's dynamic loader to take it
 * in, this traces the program's system calls and answers those on the drive
 * itself, so it serves any program, a statically linked one among them. The
 * drive (ioctls.c), the disc descriptions, the call log and the injected
 * failures are the same; so are the variables, CDEMU_DEVICE, CDEMU_DISC and
 * CDEMU_LOG.
 *
 * Usage: cdemu-run PROGRAM [ARGUMENT...]
 * Ends when the program ends, as it did: with its status, or by the same
 * signal. What the program left running is killed then: untraced, it could
 * no longer make the calls the tracer answers. 125: the tracer failed.
 *
 * A seccomp filter stops the program only on the calls the drive needs to
 * see: opens (the device's, however the path is spelt, is let through and
 * its descriptor remembered),
 * closes and copies of descriptors, ioctls (those on the drive are answered
 * here and never reach the kernel), and stats (the machine's own drives are
 * hidden, as are the mount tables). Every thread and child of the program is
 * traced the same way; each descriptor table keeps its own drive
 * descriptors, and a forked child starts with a copy of its parent's. Stop
 * signals stop the program as they would untraced. Built for x86-64; it
 * serves x86-64 programs and 32-bit x86 ones, which the kernel runs through
 * its 32-bit layer.
 */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/user.h>
#include <sys/wait.h>
#include <unistd.h>

#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>

#include "ioctls.h"

#if !defined(__x86_64__)
#error "cdemu-run reads and changes x86-64 registers"
#endif

#define MAX_TRACEES 64

/* A 32-bit x86 program makes its calls by the i386 numbers, with its
 * arguments in ebx, ecx and edx; its code segment tells it apart. */
#define USER32_CS 0x23
#define I386_FORK 2
#define I386_OPEN 5
#define I386_CLOSE 6
#define I386_DUP 41
#define I386_IOCTL 54
#define I386_FCNTL 55
#define I386_DUP2 63
#define I386_STAT 106
#define I386_LSTAT 107
#define I386_CLONE 120
#define I386_VFORK 190
#define I386_STAT64 195
#define I386_LSTAT64 196
#define I386_FCNTL64 221
#define I386_OPENAT 295
#define I386_FSTATAT64 300
#define I386_DUP3 330
#define I386_STATX 383
#define I386_CLONE3 435
#define I386_CLOSE_RANGE 436

static void die(const char *what)
{
    fprintf(stderr, "cdemu-run: %s: %s\n", what, strerror(errno));
    exit(125);
}

/* ---- the traced program's memory ---- */

static int read_memory(pid_t pid, uint64_t address, void *buf, size_t size)
{
    struct iovec local = {buf, size};
    struct iovec remote = {(void *)(uintptr_t)address, size};
    return process_vm_readv(pid, &local, 1, &remote, 1, 0) == (ssize_t)size ? 0 : -1;
}

static int write_memory(pid_t pid, uint64_t address, const void *buf, size_t size)
{
    struct iovec local = {(void *)buf, size};
    struct iovec remote = {(void *)(uintptr_t)address, size};
    return process_vm_writev(pid, &local, 1, &remote, 1, 0) == (ssize_t)size ? 0 : -1;
}

/* Reads a NUL-terminated path, a page at most at a time so that no read
 * runs into memory that is not mapped. */
static int read_path(pid_t pid, uint64_t address, char *buf, size_t size)
{
    size_t got = 0;
    while (got < size - 1) {
        size_t page_left = 4096 - (size_t)((address + got) % 4096);
        size_t want = size - 1 - got < page_left ? size - 1 - got : page_left;
        if (read_memory(pid, address + got, buf + got, want) != 0)
            return -1;
        if (memchr(buf + got, '\0', want) != NULL)
            return 0;
        got += want;
    }
    buf[size - 1] = '\0';
    return 0;
}

/* ---- the tracees ---- */

/* A descriptor table, shared by the threads (and CLONE_FILES children)
 * that share the kernel's. */
struct files {
    int users;
    struct ioctls_handles handles;
};

static struct files *new_files(const struct files *copy_of)
{
    struct files *f = calloc(1, sizeof *f);
    if (f == NULL)
        die("calloc");
    if (copy_of != NULL)
        f->handles = copy_of->handles;
    f->users = 1;
    return f;
}

static void drop_files(struct files *f)
{
    if (f != NULL && --f->users == 0)
        free(f);
}

static struct tracee {
    pid_t pid;
    struct files *files;    /* NULL until its parent's clone event is seen */
    int held;               /* stopped (by this signal) before that event: kept so */
    long awaited;           /* the call whose return is awaited, or -1 */
    int arg;                /* that call's descriptor */
} tracees[MAX_TRACEES];
static int ntracees;

static struct tracee *tracee_of(pid_t pid)
{
    for (int i = 0; i < ntracees; i++) {
        if (tracees[i].pid == pid)
            return &tracees[i];
    }
    if (ntracees == MAX_TRACEES) {
        fprintf(stderr, "cdemu-run: more than %d threads and processes\n", MAX_TRACEES);
        exit(125);
    }
    tracees[ntracees] = (struct tracee){pid, NULL, 0, -1, -1};
    return &tracees[ntracees++];
}

static void forget(pid_t pid)
{
    for (int i = 0; i < ntracees; i++) {
        if (tracees[i].pid == pid) {
            drop_files(tracees[i].files);
            tracees[i] = tracees[--ntracees];
            return;
        }
    }
}

/* The x86-64 number of the i386 call nr, of those this follows; -1 for
 * any other. */
static long x86_64_call(uint64_t nr)
{
    switch (nr) {
    case I386_FORK: return SYS_fork;
    case I386_OPEN: return SYS_open;
    case I386_CLOSE: return SYS_close;
    case I386_DUP: return SYS_dup;
    case I386_IOCTL: return SYS_ioctl;
    case I386_FCNTL: case I386_FCNTL64: return SYS_fcntl;
    case I386_DUP2: return SYS_dup2;
    case I386_STAT: case I386_STAT64: return SYS_stat;
    case I386_LSTAT: case I386_LSTAT64: return SYS_lstat;
    case I386_CLONE: return SYS_clone;
    case I386_VFORK: return SYS_vfork;
    case I386_OPENAT: return SYS_openat;
    case I386_FSTATAT64: return SYS_newfstatat;
    case I386_DUP3: return SYS_dup3;
    case I386_STATX: return SYS_statx;
#ifdef SYS_clone3
    case I386_CLONE3: return SYS_clone3;
#endif
#ifdef SYS_close_range
    case I386_CLOSE_RANGE: return SYS_close_range;
#endif
    default: return -1;
    }
}

/* Reads the tracee's registers as an x86-64 program's call: a 32-bit
 * program's gets the same call's x86-64 number, its arguments in rdi, rsi
 * and rdx, and its result sign-extended. For reading only. */
static void get_call(pid_t pid, struct user_regs_struct *regs)
{
    if (ptrace(PTRACE_GETREGS, pid, NULL, regs) != 0)
        die("PTRACE_GETREGS");
    if (regs->cs != USER32_CS)
        return;
    regs->orig_rax = (uint64_t)x86_64_call(regs->orig_rax);
    regs->rdi = (uint32_t)regs->rbx;
    regs->rsi = (uint32_t)regs->rcx;
    regs->rdx = (uint32_t)regs->rdx;
    regs->rax = (uint64_t)(int64_t)(int32_t)regs->rax;
}

/* Skips the system call the tracee is stopped in, which returns result. */
static void skip_call(pid_t pid, long result)
{
    struct user_regs_struct regs;
    if (ptrace(PTRACE_GETREGS, pid, NULL, &regs) != 0)
        die("PTRACE_GETREGS");
    regs.orig_rax = (uint64_t)-1;
    regs.rax = (uint64_t)result;
    if (ptrace(PTRACE_SETREGS, pid, NULL, &regs) != 0)
        die("PTRACE_SETREGS");
}

/* Answers an ioctl on the drive in the tracee's stead. */
static long serve_ioctl(pid_t pid, unsigned long request, uint64_t arg)
{
    union {
        char bytes[64];
        long align;
    } buf;
    size_t size = ioctls_arg_size(request);
    if (size > sizeof buf.bytes)
        abort();
    memset(&buf, 0, sizeof buf);
    if (size > 0 && read_memory(pid, arg, buf.bytes, size) != 0)
        return -EFAULT;
    if (ioctls_serve(request, buf.bytes) != 0)
        return -errno;
    if (size > 0 && write_memory(pid, arg, buf.bytes, size) != 0)
        return -EFAULT;
    return 0;
}

/* Whether the tracee's descriptor fd is still open. */
static int is_open(pid_t pid, int fd)
{
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/fd/%d", (int)pid, fd);
    return access(path, F_OK) == 0;
}

/* Whether the tracee's path, relative to its folder dirfd (AT_FDCWD: its
 * working folder), is the drive's device: looked up from that folder as
 * the tracee sees it. */
static int is_device(pid_t pid, int dirfd, const char *path)
{
    if (path[0] == '/')
        return ioctls_is_device(path);
    char folder[64];
    if (dirfd == AT_FDCWD)
        snprintf(folder, sizeof folder, "/proc/%d/cwd", (int)pid);
    else
        snprintf(folder, sizeof folder, "/proc/%d/fd/%d", (int)pid, dirfd);
    int fd = open(folder, O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return 0;   /* no such folder: the call fails by itself */
    int is = ioctls_is_device_at(fd, path);
    close(fd);
    return is;
}

/* At a call the filter stops on: 1 to see it again when it returns. */
static int on_call(struct tracee *t)
{
    struct user_regs_struct regs;
    get_call(t->pid, &regs);
    struct ioctls_handles *handles = &t->files->handles;
    int fd = (int)regs.rdi;
    char path[4096];
    uint64_t path_arg;
    int dirfd = AT_FDCWD;
    t->awaited = -1;
    switch (regs.orig_rax) {
    case SYS_open:
    case SYS_stat:
    case SYS_lstat:
        path_arg = regs.rdi;
        break;
    case SYS_openat:
    case SYS_newfstatat:
    case SYS_statx:
        dirfd = fd;
        path_arg = regs.rsi;
        break;
    case SYS_close:
        ioctls_close(handles, fd);
        return 0;
#ifdef SYS_close_range
    case SYS_close_range:
        /* With CLOSE_RANGE_CLOEXEC they close at exec, where it is seen. */
        if ((regs.rdx & 4) == 0)
            ioctls_close_range(handles, (unsigned)regs.rdi, (unsigned)regs.rsi);
        return 0;
#endif
    case SYS_fcntl:
        if (regs.rsi != F_DUPFD && regs.rsi != F_DUPFD_CLOEXEC)
            return 0;
        /* fall through */
    case SYS_dup:
    case SYS_dup2:
    case SYS_dup3:
        /* Seen again on return: the copy is known then. One made over a
         * drive descriptor (dup2, dup3) closes that one. */
        if (!ioctls_is_handle(handles, fd)
            && (regs.orig_rax == SYS_dup || regs.orig_rax == SYS_fcntl
                || !ioctls_is_handle(handles, (int)regs.rsi)))
            return 0;
        t->awaited = (long)regs.orig_rax;
        t->arg = fd;
        return 1;
    case SYS_ioctl:
        if (ioctls_is_handle(handles, fd))
            skip_call(t->pid, serve_ioctl(t->pid, regs.rsi, regs.rdx));
        return 0;
    default:
        return 0;
    }
    if (read_path(t->pid, path_arg, path, sizeof path) != 0)
        return 0;   /* the kernel will answer EFAULT itself */
    int opens = regs.orig_rax == SYS_open || regs.orig_rax == SYS_openat;
    if (opens && is_device(t->pid, dirfd, path)) {
        if (ioctls_before_open() != 0) {
            skip_call(t->pid, -errno);
            return 0;
        }
        t->awaited = (long)regs.orig_rax;
        return 1;
    }
    /* The machine's drives and mount tables are known by their absolute
     * paths. */
    if (path[0] != '/' && dirfd != AT_FDCWD)
        return 0;
    if ((opens && ioctls_is_mount_table(path)) || (!opens && ioctls_is_hidden(path)))
        skip_call(t->pid, -ENOENT);
    return 0;
}

/* When an awaited call returns. */
static void on_return(struct tracee *t)
{
    struct user_regs_struct regs;
    get_call(t->pid, &regs);
    long result = (long)regs.rax;
    long call = t->awaited;
    t->awaited = -1;
    if (call == SYS_open || call == SYS_openat) {
        if (result < 0)
            errno = (int)-result;
        ioctls_after_open(&t->files->handles, result < 0 ? -1 : (int)result);
    } else if (result >= 0) {
        ioctls_dup(&t->files->handles, t->arg, (int)result);
    }
}

static int is_stop_signal(int sig)
{
    return sig == SIGSTOP || sig == SIGTSTP || sig == SIGTTIN || sig == SIGTTOU;
}

/* The tracee t, in a fork, vfork or clone, made child: the child's
 * descriptor table is t's own when CLONE_FILES was asked for, else a copy. */
static void on_clone(struct tracee *t, pid_t child)
{
    struct user_regs_struct regs;
    get_call(t->pid, &regs);
    uint64_t flags = regs.orig_rax == SYS_clone ? regs.rdi : 0;
#ifdef SYS_clone3
    /* clone3 passes its flags first in a structure. */
    if (regs.orig_rax == SYS_clone3 && read_memory(t->pid, regs.rdi, &flags, sizeof flags) != 0)
        die("reading clone3's arguments");
#endif
    struct tracee *c = tracee_of(child);
    if ((flags & CLONE_FILES) != 0) {
        c->files = t->files;
        t->files->users++;
    } else {
        c->files = new_files(t->files);
    }
    if (c->held != 0) {
        int resume = is_stop_signal(c->held) ? PTRACE_LISTEN : PTRACE_CONT;
        if (ptrace(resume, child, NULL, NULL) != 0 && errno != ESRCH)
            die("ptrace resume");
        c->held = 0;
    }
}

/* After an exec: the descriptors opened close-on-exec are gone. */
static void on_exec(struct tracee *t)
{
    pid_t pid = t->pid;
    unsigned long former;
    /* Exec'd by another thread, which has taken the process's id. */
    if (ptrace(PTRACE_GETEVENTMSG, pid, NULL, &former) == 0 && (pid_t)former != pid)
        forget((pid_t)former);
    t = tracee_of(pid);
    struct ioctls_handles *handles = &t->files->handles;
    for (int i = handles->count - 1; i >= 0; i--) {
        if (!is_open(t->pid, handles->fds[i]))
            handles->fds[i] = handles->fds[--handles->count];
    }
}

/* ---- the program ---- */

/* Appends a stop on each of count calls to the filter at *n. */
static void stop_on(struct sock_filter *filter, size_t *n, const unsigned *calls, size_t count)
{
    for (size_t i = 0; i < count; i++) {
        filter[(*n)++] = (struct sock_filter)BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, calls[i], 0, 1);
        filter[(*n)++] = (struct sock_filter)BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_TRACE);
    }
}

static void install_filter(void)
{
    static const unsigned x86_64_stops[] = {
        SYS_open, SYS_openat, SYS_close, SYS_ioctl, SYS_stat, SYS_lstat, SYS_newfstatat, SYS_statx,
        SYS_dup, SYS_dup2, SYS_dup3, SYS_fcntl,
#ifdef SYS_close_range
        SYS_close_range,
#endif
    };
    static const unsigned i386_stops[] = {
        I386_OPEN, I386_OPENAT, I386_CLOSE, I386_IOCTL, I386_STAT, I386_LSTAT, I386_STAT64,
        I386_LSTAT64, I386_FSTATAT64, I386_STATX, I386_DUP, I386_DUP2, I386_DUP3, I386_FCNTL,
        I386_FCNTL64, I386_CLOSE_RANGE,
    };
    const size_t n32 = sizeof i386_stops / sizeof i386_stops[0];
    const size_t n64 = sizeof x86_64_stops / sizeof x86_64_stops[0];
    struct sock_filter filter[8 + 2 * (sizeof i386_stops + sizeof x86_64_stops) / sizeof(unsigned)];
    size_t n = 0;
    /* The i386 calls, then the x86-64 ones; any other ABI's pass. */
    filter[n++] = (struct sock_filter)BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, arch));
    filter[n++] = (struct sock_filter)BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_I386, 0, 2 * n32 + 2);
    filter[n++] = (struct sock_filter)BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, nr));
    stop_on(filter, &n, i386_stops, n32);
    filter[n++] = (struct sock_filter)BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW);
    filter[n++] = (struct sock_filter)BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0);
    filter[n++] = (struct sock_filter)BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW);
    filter[n++] = (struct sock_filter)BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, nr));
    stop_on(filter, &n, x86_64_stops, n64);
    filter[n++] = (struct sock_filter)BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW);
    struct sock_fprog program = {(unsigned short)n, filter};
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        die("PR_SET_NO_NEW_PRIVS");
    if (syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &program) != 0)
        die("seccomp");
}

/* Starts the program, seized (PTRACE_SEIZE: so that stops by signal can be
 * left to the program) before it installs the filter and execs. */
static pid_t start(char **argv)
{
    int go[2];
    if (pipe2(go, O_CLOEXEC) != 0)
        die("pipe2");
    pid_t pid = fork();
    if (pid < 0)
        die("fork");
    if (pid == 0) {
        char byte;
        close(go[1]);
        if (read(go[0], &byte, 1) != 1)
            _exit(125);   /* the tracer is gone */
        install_filter();
        execvp(argv[0], argv);
        fprintf(stderr, "cdemu-run: %s: %s\n", argv[0], strerror(errno));
        _exit(errno == ENOENT ? 127 : 126);
    }
    close(go[0]);
    long options = PTRACE_O_TRACESECCOMP | PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL
                   | PTRACE_O_TRACECLONE | PTRACE_O_TRACEFORK | PTRACE_O_TRACEVFORK
                   | PTRACE_O_TRACEEXEC;
    if (ptrace(PTRACE_SEIZE, pid, NULL, (void *)options) != 0)
        die("PTRACE_SEIZE");
    tracee_of(pid)->files = new_files(NULL);
    if (write(go[1], "", 1) != 1)
        die("starting the program");
    close(go[1]);
    return pid;
}

/* Ends this process the way the program ended. */
static void end_like(int status)
{
    if (WIFEXITED(status))
        exit(WEXITSTATUS(status));
    int sig = WTERMSIG(status);
    signal(sig, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    sigprocmask(SIG_UNBLOCK, &set, NULL);
    raise(sig);
    exit(128 + sig);
}

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: cdemu-run PROGRAM [ARGUMENT...]\n");
        return 2;
    }
    ioctls_load();
    pid_t program = start(argv + 1);
    for (;;) {
        int status;
        pid_t pid = waitpid(-1, &status, __WALL);
        if (pid < 0) {
            if (errno == EINTR)
                continue;
            if (errno == ECHILD) {
                fprintf(stderr, "cdemu-run: the program's end was not seen\n");
                return 125;
            }
            die("waitpid");
        }
        if (WIFEXITED(status) || WIFSIGNALED(status)) {
            if (pid == program)
                end_like(status);
            forget(pid);
            continue;
        }
        struct tracee *t = tracee_of(pid);
        int sig = WSTOPSIG(status);
        int event = status >> 16;
        int deliver = 0;
        int resume = PTRACE_CONT;
        if (t->files == NULL) {
            /* A new thread or child, stopped before its parent's clone
             * event says which descriptors it has: held until then. */
            t->held = sig;
            continue;
        }
        if (event == PTRACE_EVENT_SECCOMP) {
            if (on_call(t))
                resume = PTRACE_SYSCALL;
        } else if (sig == (SIGTRAP | 0x80)) {
            if (t->awaited >= 0)
                on_return(t);
        } else if (event == PTRACE_EVENT_CLONE || event == PTRACE_EVENT_FORK
                   || event == PTRACE_EVENT_VFORK) {
            unsigned long child;
            if (ptrace(PTRACE_GETEVENTMSG, pid, NULL, &child) != 0)
                die("PTRACE_GETEVENTMSG");
            on_clone(t, (pid_t)child);
        } else if (event == PTRACE_EVENT_EXEC) {
            on_exec(t);
        } else if (event == PTRACE_EVENT_STOP) {
            /* A stop by signal: the tracee stays stopped, and is seen again
             * when a SIGCONT wakes it. Else a first stop, or that waking. */
            if (is_stop_signal(sig))
                resume = PTRACE_LISTEN;
        } else {
            deliver = sig;
        }
        /* A tracee that has just been killed cannot be resumed. */
        if (ptrace(resume, pid, NULL, (void *)(long)deliver) != 0 && errno != ESRCH)
            die("ptrace resume");
    }
}
