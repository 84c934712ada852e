/* Preloaded into tessavo-convert by the write-fault tests: fails one file
 * created under a chosen folder the way a bad disk would.
 *
 *   TESSAVO_FAULT_DIR    the folder; only files created directly in it count
 *   TESSAVO_FAULT        enospc | fsync | rename | vanish
 *   TESSAVO_FAULT_NTH    which created file (1-based, in order) is hit; default 1
 *   TESSAVO_FAULT_AFTER  enospc: bytes that still fit; default 1000
 *   TESSAVO_FAULT_LOG    file that gets one line per fault injected
 *
 * vanish removes the whole folder just before the file's rename, as another
 * program emptying the disk would. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <ftw.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static int created;
static int target_fd = -1;
static char target_path[4096];
static long long target_written;

static const char *setting(const char *name) { const char *v = getenv(name); return v && *v ? v : NULL; }

static int fault_is(const char *kind)
{
    const char *fault = setting("TESSAVO_FAULT");
    return fault && strcmp(fault, kind) == 0;
}

static void note(const char *what)
{
    const char *log = setting("TESSAVO_FAULT_LOG");
    if (!log)
        return;
    FILE *f = fopen(log, "a");
    if (f) {
        fprintf(f, "%s %s\n", what, target_path);
        fclose(f);
    }
}

/* Whether `path` names an entry directly inside the fault folder. */
static int in_fault_dir(const char *path)
{
    const char *dir = setting("TESSAVO_FAULT_DIR");
    if (!dir || !path)
        return 0;
    size_t n = strlen(dir);
    while (n > 1 && dir[n - 1] == '/')
        --n;
    return strncmp(path, dir, n) == 0 && path[n] == '/' && strchr(path + n + 1, '/') == NULL;
}

static void track_created(int fd, const char *path, int flags)
{
    if (fd < 0 || !(flags & O_CREAT) || !in_fault_dir(path))
        return;
    pthread_mutex_lock(&lock);
    const char *nth = setting("TESSAVO_FAULT_NTH");
    if (++created == (nth ? atoi(nth) : 1)) {
        target_fd = fd;
        target_written = 0;
        snprintf(target_path, sizeof target_path, "%s", path);
    }
    pthread_mutex_unlock(&lock);
}

#define REAL(name) static __typeof__(&name) real_##name; if (!real_##name) real_##name = (__typeof__(&name))dlsym(RTLD_NEXT, #name)

/* The mode argument is only present when the flags ask for creation. */
#define MODE_ARG(flags) \
    mode_t mode = 0; \
    if ((flags) & (O_CREAT | O_TMPFILE)) { va_list a; va_start(a, flags); mode = va_arg(a, mode_t); va_end(a); }

int open(const char *path, int flags, ...)
{
    REAL(open);
    MODE_ARG(flags);
    int fd = real_open(path, flags, mode);
    track_created(fd, path, flags);
    return fd;
}

int open64(const char *path, int flags, ...)
{
    REAL(open64);
    MODE_ARG(flags);
    int fd = real_open64(path, flags, mode);
    track_created(fd, path, flags);
    return fd;
}

int openat(int dirfd, const char *path, int flags, ...)
{
    REAL(openat);
    MODE_ARG(flags);
    int fd = real_openat(dirfd, path, flags, mode);
    if (dirfd == AT_FDCWD || path[0] == '/')
        track_created(fd, path, flags);
    return fd;
}

ssize_t write(int fd, const void *data, size_t size)
{
    REAL(write);
    if (fault_is("enospc")) {
        pthread_mutex_lock(&lock);
        int hit = 0;
        if (fd == target_fd) {
            const char *after = setting("TESSAVO_FAULT_AFTER");
            long long room = (after ? atoll(after) : 1000) - target_written;
            if (room <= 0)
                hit = 1;
            else if ((long long)size > room)
                size = (size_t)room; /* a short write, then the disk is full */
            target_written += (long long)size;
        }
        pthread_mutex_unlock(&lock);
        if (hit) {
            note("enospc");
            errno = ENOSPC;
            return -1;
        }
    }
    return real_write(fd, data, size);
}

static int sync_fault(int fd)
{
    if (!fault_is("fsync") || fd != target_fd)
        return 0;
    note("fsync");
    errno = EIO;
    return 1;
}

int fsync(int fd) { REAL(fsync); return sync_fault(fd) ? -1 : real_fsync(fd); }
int fdatasync(int fd) { REAL(fdatasync); return sync_fault(fd) ? -1 : real_fdatasync(fd); }

int close(int fd)
{
    REAL(close);
    pthread_mutex_lock(&lock);
    if (fd == target_fd)
        target_fd = -1; /* the path stays the target of its rename */
    pthread_mutex_unlock(&lock);
    return real_close(fd);
}

static int remove_entry(const char *path, const struct stat *info, int kind, struct FTW *walk)
{
    (void)info; (void)kind; (void)walk;
    return remove(path);
}

int rename(const char *from, const char *to)
{
    REAL(rename);
    if (target_path[0] && strcmp(from, target_path) == 0) {
        if (fault_is("rename")) {
            note("rename");
            errno = EIO;
            return -1;
        }
        if (fault_is("vanish")) {
            note("vanish");
            nftw(setting("TESSAVO_FAULT_DIR"), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
        }
    }
    return real_rename(from, to);
}
