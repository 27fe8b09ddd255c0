#include "disc.h"

#include <ctype.h>
#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <linux/cdrom.h>

static const char *const op_names[OP_COUNT] = {
    "open", "CDROMSUBCHNL", "CDROMREADTOCHDR", "CDROMREADTOCENTRY", "CDROMSTOP",
};

static const struct {
    const char *name;
    int value;
} errnos[] = {
    {"EIO", EIO}, {"ENOENT", ENOENT}, {"EINVAL", EINVAL}, {"ENOMEDIUM", ENOMEDIUM},
    {"EACCES", EACCES}, {"EPERM", EPERM}, {"ENXIO", ENXIO}, {"ENODEV", ENODEV},
    {"EBUSY", EBUSY}, {"ENOTTY", ENOTTY}, {"ETIMEDOUT", ETIMEDOUT}, {"EROFS", EROFS},
};

static const struct {
    const char *name;
    int value;
} statuses[] = {
    {"stopped", CDROM_AUDIO_NO_STATUS}, {"invalid", CDROM_AUDIO_INVALID},
    {"completed", CDROM_AUDIO_COMPLETED}, {"playing", CDROM_AUDIO_PLAY},
    {"paused", CDROM_AUDIO_PAUSED}, {"error", CDROM_AUDIO_ERROR},
};

const char *disc_op_name(enum disc_op op)
{
    return op_names[op];
}

const char *disc_errno_name(int err)
{
    static char number[16];
    for (size_t i = 0; i < sizeof errnos / sizeof errnos[0]; i++) {
        if (errnos[i].value == err)
            return errnos[i].name;
    }
    snprintf(number, sizeof number, "%d", err);
    return number;
}

int disc_present(const struct disc *d)
{
    return d->empty_errno == 0;
}

int disc_header_first(const struct disc *d)
{
    return d->header_first >= 0 ? d->header_first : d->first;
}

int disc_header_last(const struct disc *d)
{
    return d->header_last >= 0 ? d->header_last : d->first + d->ntracks - 1;
}

int disc_entry_index(const struct disc *d, int number)
{
    if (number == CDROM_LEADOUT)
        return d->ntracks;
    int i = number - d->first;
    return i >= 0 && i < d->ntracks ? i : -1;
}

struct disc_entry disc_entry_at(const struct disc *d, int index)
{
    if (index == d->ntracks)
        return (struct disc_entry){CDROM_LEADOUT, 0, d->leadout};
    return (struct disc_entry){d->first + index, d->data[index], d->start[index]};
}

long disc_rest_address(const struct disc *d)
{
    return d->ntracks > 0 ? d->start[0] : 150;
}

struct disc_msf disc_msf(long address)
{
    return (struct disc_msf){(uint8_t)(address / 4500), (uint8_t)(address / 75 % 60),
                             (uint8_t)(address % 75)};
}

long disc_lba(long address)
{
    return address - 150;
}

static int holds_for(const struct disc_fail *f, long call)
{
    if (call == DISC_UNCOUNTED)
        return f->from == 1 && f->count == 0;
    return call >= f->from && (f->count == 0 || call < f->from + f->count);
}

int disc_failure(const struct disc *d, enum disc_op op, long call)
{
    for (int i = 0; i < d->nfails; i++) {
        if (d->fails[i].op == op && holds_for(&d->fails[i], call))
            return d->fails[i].err;
    }
    /* Stopping a drive without a disc is no error, and some drives
     * (empty sr) answer the status query all the same. */
    int needs_disc = op != OP_OPEN && op != OP_STOP
                     && !(op == OP_SUBCHNL && d->empty_subchnl_ok);
    return needs_disc && !disc_present(d) ? d->empty_errno : 0;
}

const char *disc_status_name(int status)
{
    for (size_t i = 0; i < sizeof statuses / sizeof statuses[0]; i++) {
        if (statuses[i].value == status)
            return statuses[i].name;
    }
    return NULL;
}

struct parser {
    const char *path;
    int line;
    char *error;
    size_t error_size;
};

static int fail_at(struct parser *p, const char *fmt, ...)
{
    int n = snprintf(p->error, p->error_size, "%s:%d: ", p->path, p->line);
    va_list ap;
    va_start(ap, fmt);
    if (n >= 0 && (size_t)n < p->error_size)
        vsnprintf(p->error + n, p->error_size - (size_t)n, fmt, ap);
    va_end(ap);
    return -1;
}

static int parse_long(const char *word, long min, long max, long *out)
{
    char *end;
    errno = 0;
    long v = strtol(word, &end, 10);
    if (errno != 0 || end == word || *end != '\0' || v < min || v > max)
        return -1;
    *out = v;
    return 0;
}

/* A frame address: FRAMES, or M:S:F with S < 60 and F < 75. */
static int parse_address(const char *word, long *out)
{
    long m, s, f;
    char tail;
    if (strchr(word, ':') == NULL)
        return parse_long(word, 0, 99L * 4500 + 59 * 75 + 74, out);
    if (sscanf(word, "%ld:%ld:%ld%c", &m, &s, &f, &tail) != 3 || m < 0 || m > 99 || s < 0
        || s > 59 || f < 0 || f > 74)
        return -1;
    *out = m * 4500 + s * 75 + f;
    return 0;
}

static int parse_errno(const char *word, int *out)
{
    long v;
    for (size_t i = 0; i < sizeof errnos / sizeof errnos[0]; i++) {
        if (strcmp(word, errnos[i].name) == 0) {
            *out = errnos[i].value;
            return 0;
        }
    }
    if (parse_long(word, 1, 4095, &v) != 0)
        return -1;
    *out = (int)v;
    return 0;
}

/* Splits line into blank-separated words, in place; returns their number. */
static int split(char *line, char **words, int max)
{
    int n = 0;
    char *save = NULL;
    for (char *w = strtok_r(line, " \t\r\n", &save); w != NULL && n < max;
         w = strtok_r(NULL, " \t\r\n", &save))
        words[n++] = w;
    return n;
}

/* The rest of the line after the first two words, for SDL error texts. */
static void rest_of_line(const char *line, char *out, size_t size)
{
    const char *p = line;
    for (int word = 0; word < 2; word++) {
        while (*p != '\0' && isspace((unsigned char)*p))
            p++;
        while (*p != '\0' && !isspace((unsigned char)*p))
            p++;
    }
    while (*p != '\0' && isspace((unsigned char)*p))
        p++;
    size_t n = strcspn(p, "\r\n");
    if (n >= size)
        n = size - 1;
    memcpy(out, p, n);
    out[n] = '\0';
}

static int parse_line(struct parser *p, struct disc *d, char *line)
{
    char raw[512];
    snprintf(raw, sizeof raw, "%s", line);
    char *hash = strchr(line, '#');
    if (hash != NULL)
        *hash = '\0';
    char *w[8];
    int n = split(line, w, 8);
    long v, v2;
    if (n == 0)
        return 0;
    if (strcmp(w[0], "first") == 0) {
        if (n != 2 || parse_long(w[1], 0, 255, &v) != 0)
            return fail_at(p, "expected 'first N' with N from 0 to 255");
        d->first = (int)v;
    } else if (strcmp(w[0], "track") == 0) {
        if (n != 3 || (strcmp(w[1], "audio") != 0 && strcmp(w[1], "data") != 0)
            || parse_address(w[2], &v) != 0)
            return fail_at(p, "expected 'track audio|data START', START as FRAMES or M:S:F");
        if (d->ntracks == DISC_MAX_TRACKS)
            return fail_at(p, "more than %d tracks", DISC_MAX_TRACKS);
        d->data[d->ntracks] = strcmp(w[1], "data") == 0;
        d->start[d->ntracks] = v;
        d->ntracks++;
    } else if (strcmp(w[0], "leadout") == 0) {
        if (n != 2 || parse_address(w[1], &v) != 0)
            return fail_at(p, "expected 'leadout START', START as FRAMES or M:S:F");
        d->leadout = v;
    } else if (strcmp(w[0], "header") == 0) {
        if (n != 3 || parse_long(w[1], 0, 255, &v) != 0 || parse_long(w[2], 0, 255, &v2) != 0)
            return fail_at(p, "expected 'header FIRST LAST', each from 0 to 255");
        d->header_first = (int)v;
        d->header_last = (int)v2;
    } else if (strcmp(w[0], "status") == 0) {
        size_t i;
        for (i = 0; n == 2 && i < sizeof statuses / sizeof statuses[0]; i++) {
            if (strcmp(w[1], statuses[i].name) == 0)
                break;
        }
        if (n != 2 || i == sizeof statuses / sizeof statuses[0])
            return fail_at(p, "expected 'status stopped|invalid|completed|playing|paused|error'");
        d->audio_status = statuses[i].value;
    } else if (strcmp(w[0], "empty") == 0) {
        d->empty_errno = ENOMEDIUM;
        if (n == 2 && strcmp(w[1], "sr") == 0) {
            /* Linux's sr driver: the sub-channel answers "invalid", the
             * table of contents is what reports the missing medium. */
            d->empty_subchnl_ok = 1;
            d->audio_status = CDROM_AUDIO_INVALID;
        } else if (n > 2 || (n == 2 && parse_errno(w[1], &d->empty_errno) != 0)) {
            return fail_at(p, "expected 'empty [ERRNO|sr]'");
        }
    } else if (strcmp(w[0], "fail") == 0) {
        struct disc_fail f = {OP_OPEN, 0, 1, 0};
        int op;
        for (op = 0; op < OP_COUNT; op++) {
            if (n >= 3 && strcmp(w[1], op_names[op]) == 0)
                break;
        }
        int ok = op < OP_COUNT && parse_errno(w[2], &f.err) == 0;
        f.op = (enum disc_op)op;
        for (int i = 3; ok && i < n; i += 2) {
            if (i + 1 < n && strcmp(w[i], "from") == 0)
                ok = parse_long(w[i + 1], 1, 1000000, &f.from) == 0;
            else if (i + 1 < n && strcmp(w[i], "for") == 0)
                ok = parse_long(w[i + 1], 1, 1000000, &f.count) == 0;
            else
                ok = 0;
        }
        if (!ok)
            return fail_at(p, "expected 'fail OPERATION ERRNO [from K] [for C]'");
        if (d->nfails == DISC_MAX_FAILS)
            return fail_at(p, "more than %d fail lines", DISC_MAX_FAILS);
        d->fails[d->nfails++] = f;
    } else if (strcmp(w[0], "sdl-fail") == 0) {
        char *target;
        if (n >= 2 && strcmp(w[1], "SDL_Init") == 0)
            target = d->sdl_init_error;
        else if (n >= 2 && strcmp(w[1], "SDL_InitSubSystem") == 0)
            target = d->sdl_cdrom_error;
        else if (n >= 2 && strcmp(w[1], "SDL_CreateMutex") == 0)
            target = d->sdl_mutex_error;
        else
            return fail_at(p, "expected 'sdl-fail SDL_Init|SDL_InitSubSystem|SDL_CreateMutex TEXT'");
        rest_of_line(raw, target, DISC_TEXT);
        if (target[0] == '\0')
            return fail_at(p, "sdl-fail needs an error text");
    } else {
        return fail_at(p, "unknown keyword '%s'", w[0]);
    }
    return 0;
}

static int check(struct parser *p, const struct disc *d)
{
    if (d->empty_errno != 0)
        return 0;
    if (d->leadout < 0)
        return fail_at(p, "no 'leadout' line");
    if (d->ntracks > 0 && d->first + d->ntracks - 1 > 255)
        return fail_at(p, "track numbers from %d run past 255", d->first);
    if (d->first <= CDROM_LEADOUT && d->first + d->ntracks - 1 >= CDROM_LEADOUT)
        return fail_at(p, "track numbers from %d reach %d, the lead-out's", d->first,
                       CDROM_LEADOUT);
    return 0;
}

int disc_load(const char *path, struct disc *d, char *error, size_t error_size)
{
    struct parser p = {path, 0, error, error_size};
    memset(d, 0, sizeof *d);
    d->first = 1;
    d->leadout = -1;
    d->header_first = d->header_last = -1;
    d->audio_status = CDROM_AUDIO_NO_STATUS;

    FILE *in = fopen(path, "re");
    if (in == NULL) {
        snprintf(error, error_size, "%s: %s", path, strerror(errno));
        return -1;
    }
    char line[512];
    int rc = 0;
    while (rc == 0 && fgets(line, sizeof line, in) != NULL) {
        p.line++;
        if (strchr(line, '\n') == NULL && !feof(in))
            rc = fail_at(&p, "line too long");
        else
            rc = parse_line(&p, d, line);
    }
    fclose(in);
    return rc == 0 ? check(&p, d) : rc;
}
