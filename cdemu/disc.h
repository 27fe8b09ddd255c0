/* A described disc for the emulated drive, and its text format. */
#ifndef CDEMU_DISC_H
#define CDEMU_DISC_H

#include <stddef.h>

#define DISC_MAX_TRACKS 255
#define DISC_MAX_FAILS 16
#define DISC_TEXT 256

enum disc_op {
    OP_OPEN,
    OP_SUBCHNL,
    OP_TOCHDR,
    OP_TOCENTRY,
    OP_STOP,
    OP_COUNT
};

struct disc_fail {
    enum disc_op op;
    int err;        /* errno the call fails with */
    long from;      /* first failing call of that operation, counted from 1 */
    long count;     /* how many calls fail; 0 for all later ones */
};

struct disc {
    int first;                      /* number of the first track */
    int ntracks;
    int data[DISC_MAX_TRACKS];      /* 1 for a data track */
    long start[DISC_MAX_TRACKS];    /* frame address, lead-in included */
    long leadout;                   /* -1 until given */
    int header_first, header_last;  /* -1 unless overridden */
    int audio_status;               /* CDROM_AUDIO_* reported by CDROMSUBCHNL */
    int empty_errno;                /* non-zero: tray empty, calls fail so */
    int empty_subchnl_ok;           /* the status query answers all the same */
    int nfails;
    struct disc_fail fails[DISC_MAX_FAILS];
    char sdl_init_error[DISC_TEXT];       /* non-empty: SDL_Init fails so */
    char sdl_cdrom_error[DISC_TEXT];      /* non-empty: CD-ROM start fails so */
    char sdl_mutex_error[DISC_TEXT];      /* non-empty: SDL_CreateMutex fails so */
};

/* Parses a description. On failure returns -1 and puts "FILE:LINE: what" in
 * error. */
int disc_load(const char *path, struct disc *disc, char *error, size_t error_size);

const char *disc_op_name(enum disc_op op);
const char *disc_errno_name(int err);
/* The word a 'status' line uses for a CDROM_AUDIO_* value; NULL for none. */
const char *disc_status_name(int status);

#endif
