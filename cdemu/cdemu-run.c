/*
 * cdemu-run: runs a program with the emulated CD-ROM drive attached from
 * outside it. Where libcdemu.so needs the program's dynamic loader to take it
 * in, this traces the program's system calls and answers those on the drive
 * itself, so it serves any program, a statically linked one among them. The
 * drive (drive.c), the disc descriptions, the call log and the injected
 * failures are the same; so are the variables, CDEMU_DEVICE, CDEMU_DISC and
 * CDEMU_LOG.
 *
 * Usage: cdemu-run PROGRAM [ARGUMENT...]
 * Exits as the program did: with its status, or by the same signal.
 *
 * A seccomp filter stops the program only on the calls the drive needs to
 * see: opens (the device's is let through and its descriptor remembered),
 * closes, ioctls (those on the drive are answered here and never reach the
 * kernel), and stats (the machine's own drives are hidden, as are the mount
 * tables). Every thread and child of the program is traced the same way.
 * x86-64 only.
 */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
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

#include "drive.h"

#if !defined(__x86_64__)
#error "cdemu-run reads and changes x86-64 registers"
#endif

#define MAX_TRACEES 64

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

static struct tracee {
    pid_t pid;
    int opening;            /* stopped in an open of the device */
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
    tracees[ntracees] = (struct tracee){pid, 0};
    return &tracees[ntracees++];
}

static void forget(pid_t pid)
{
    for (int i = 0; i < ntracees; i++) {
        if (tracees[i].pid == pid) {
            tracees[i] = tracees[--ntracees];
            return;
        }
    }
}

/* Skips the system call the tracee is stopped in, which returns result. */
static void skip_call(pid_t pid, struct user_regs_struct *regs, long result)
{
    regs->orig_rax = (uint64_t)-1;
    regs->rax = (uint64_t)result;
    if (ptrace(PTRACE_SETREGS, pid, NULL, regs) != 0)
        die("PTRACE_SETREGS");
}

/* Answers an ioctl on the drive in the tracee's stead. */
static long serve_ioctl(pid_t pid, unsigned long request, uint64_t arg)
{
    union {
        char bytes[64];
        long align;
    } buf;
    size_t size = drive_ioctl_size(request);
    if (size > sizeof buf.bytes)
        abort();
    memset(&buf, 0, sizeof buf);
    if (size > 0 && read_memory(pid, arg, buf.bytes, size) != 0)
        return -EFAULT;
    if (drive_ioctl(request, buf.bytes) != 0)
        return -errno;
    if (size > 0 && write_memory(pid, arg, buf.bytes, size) != 0)
        return -EFAULT;
    return 0;
}

/* At a call the filter stops on: 1 to see it again when it returns. */
static int on_call(struct tracee *t)
{
    struct user_regs_struct regs;
    if (ptrace(PTRACE_GETREGS, t->pid, NULL, &regs) != 0)
        die("PTRACE_GETREGS");
    char path[4096];
    uint64_t path_arg;
    int dirfd = AT_FDCWD;
    switch (regs.orig_rax) {
    case SYS_open:
    case SYS_stat:
    case SYS_lstat:
        path_arg = regs.rdi;
        break;
    case SYS_openat:
    case SYS_newfstatat:
    case SYS_statx:
        dirfd = (int)regs.rdi;
        path_arg = regs.rsi;
        break;
    case SYS_close:
        drive_close((int)regs.rdi);
        return 0;
    case SYS_ioctl:
        if (drive_is_handle((int)regs.rdi))
            skip_call(t->pid, &regs, serve_ioctl(t->pid, regs.rsi, regs.rdx));
        return 0;
    default:
        return 0;
    }
    if (read_path(t->pid, path_arg, path, sizeof path) != 0)
        return 0;   /* the kernel will answer EFAULT itself */
    /* Paths relative to another folder are never the drive's. */
    if (path[0] != '/' && dirfd != AT_FDCWD)
        return 0;
    int opens = regs.orig_rax == SYS_open || regs.orig_rax == SYS_openat;
    if (opens && drive_is_device(path)) {
        if (drive_before_open() != 0) {
            skip_call(t->pid, &regs, -errno);
            return 0;
        }
        t->opening = 1;
        return 1;
    }
    if ((opens && drive_is_mount_table(path)) || (!opens && drive_is_hidden(path)))
        skip_call(t->pid, &regs, -ENOENT);
    return 0;
}

/* When the open of the device returns. */
static void on_return(struct tracee *t)
{
    struct user_regs_struct regs;
    if (ptrace(PTRACE_GETREGS, t->pid, NULL, &regs) != 0)
        die("PTRACE_GETREGS");
    long result = (long)regs.rax;
    t->opening = 0;
    if (result < 0)
        errno = (int)-result;
    drive_after_open(result < 0 ? -1 : (int)result);
}

/* ---- the program ---- */

static void install_filter(void)
{
#define STOP_ON(nr) BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, (nr), 0, 1), \
                    BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_TRACE)
    struct sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, nr)),
        STOP_ON(SYS_open), STOP_ON(SYS_openat), STOP_ON(SYS_close), STOP_ON(SYS_ioctl),
        STOP_ON(SYS_stat), STOP_ON(SYS_lstat), STOP_ON(SYS_newfstatat), STOP_ON(SYS_statx),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
#undef STOP_ON
    struct sock_fprog program = {sizeof filter / sizeof filter[0], filter};
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        die("PR_SET_NO_NEW_PRIVS");
    if (syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &program) != 0)
        die("seccomp");
}

static pid_t start(char **argv)
{
    pid_t pid = fork();
    if (pid < 0)
        die("fork");
    if (pid == 0) {
        if (ptrace(PTRACE_TRACEME, 0, NULL, NULL) != 0)
            die("PTRACE_TRACEME");
        raise(SIGSTOP);
        install_filter();
        execvp(argv[0], argv);
        fprintf(stderr, "cdemu-run: %s: %s\n", argv[0], strerror(errno));
        _exit(errno == ENOENT ? 127 : 126);
    }
    int status;
    if (waitpid(pid, &status, 0) != pid || !WIFSTOPPED(status))
        die("waitpid");
    long options = PTRACE_O_TRACESECCOMP | PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL
                   | PTRACE_O_TRACECLONE | PTRACE_O_TRACEFORK | PTRACE_O_TRACEVFORK
                   | PTRACE_O_TRACEEXEC;
    if (ptrace(PTRACE_SETOPTIONS, pid, NULL, (void *)options) != 0)
        die("PTRACE_SETOPTIONS");
    tracee_of(pid);
    if (ptrace(PTRACE_CONT, pid, NULL, NULL) != 0)
        die("PTRACE_CONT");
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
    drive_load();
    pid_t program = start(argv + 1);
    int program_status = 0;
    for (;;) {
        int status;
        pid_t pid = waitpid(-1, &status, __WALL);
        if (pid < 0) {
            if (errno == EINTR)
                continue;
            if (errno == ECHILD)
                break;
            die("waitpid");
        }
        if (WIFEXITED(status) || WIFSIGNALED(status)) {
            if (pid == program)
                program_status = status;
            forget(pid);
            continue;
        }
        struct tracee *t = tracee_of(pid);
        int sig = WSTOPSIG(status);
        int event = status >> 16;
        int deliver = 0;
        int resume = PTRACE_CONT;
        if (sig == SIGTRAP && event == PTRACE_EVENT_SECCOMP) {
            if (on_call(t))
                resume = PTRACE_SYSCALL;
        } else if (sig == (SIGTRAP | 0x80)) {
            if (t->opening)
                on_return(t);
        } else if (sig == SIGTRAP && event != 0) {
            /* A clone, fork or exec: the new tracee announces itself. */
        } else if (sig == SIGSTOP && event == 0) {
            /* A new thread or child's first stop: not passed on. */
        } else {
            deliver = sig;
        }
        /* A tracee that has just been killed cannot be resumed. */
        if (ptrace(resume, pid, NULL, (void *)(long)deliver) != 0 && errno != ESRCH)
            die("ptrace resume");
    }
    end_like(program_status);
}
