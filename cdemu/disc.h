/*
 * A described disc for the emulated drive, its text format, and what the
 * disc means to a drive that holds it: the table of contents' header and
 * entries, the addresses, the failure a call meets. Both layers answer from
 * it: the ioctl layer (ioctls.c) and the SCSI layer below the kernel
 * (scsi.c), so that the two cannot tell the same disc apart.
 */
#ifndef CDEMU_DISC_H
#define CDEMU_DISC_H

#include <stddef.h>
#include <stdint.h>

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

/* Status of a program stopped for a disc description it cannot read. */
#define DISC_BAD_DESCRIPTION_STATUS 97

/* Parses a description. On failure returns -1 and puts "FILE:LINE: what" in
 * error. */
int disc_load(const char *path, struct disc *disc, char *error, size_t error_size);

const char *disc_op_name(enum disc_op op);
const char *disc_errno_name(int err);
/* The word a 'status' line uses for a CDROM_AUDIO_* value; NULL for none. */
const char *disc_status_name(int status);

/* Whether the tray holds a disc. */
int disc_present(const struct disc *disc);

/* The track numbers the table of contents' header reports: the
 * description's 'header' line, else the first and the last track. */
int disc_header_first(const struct disc *disc);
int disc_header_last(const struct disc *disc);

/* An entry of the table of contents. */
struct disc_entry {
    int number;     /* the track's number, CDROM_LEADOUT for the lead-out */
    int data;       /* 1 for a data track */
    long address;   /* frame address, lead-in included */
};

/* Where track number's entry is in the table, from 0; the lead-out's
 * (CDROM_LEADOUT) is ntracks. -1 for a track the disc does not have. */
int disc_entry_index(const struct disc *disc, int number);

/* The entry at index, 0 to ntracks (the lead-out). */
struct disc_entry disc_entry_at(const struct disc *disc, int index);

/* Where a drive at rest reads: the first track's start, or 0:02:00 on a
 * disc without tracks. */
long disc_rest_address(const struct disc *disc);

/* A frame address in minutes, seconds and frames. */
struct disc_msf {
    uint8_t minute, second, frame;
};
struct disc_msf disc_msf(long address);

/* A frame address as a logical block address: the 2-second lead-in left
 * out, so below 0 inside it. */
long disc_lba(long address);

/* Calls are counted per operation from 1; a layer that cannot count them
 * (the SCSI layer: the kernel sends commands of its own accord) asks for
 * DISC_UNCOUNTED, which only the failures of every call meet. */
#define DISC_UNCOUNTED 0

/* The errno that call number call of op meets: the first 'fail' line
 * that holds for it, else an empty tray's errno for an operation that
 * needs a disc; 0 when the call is to succeed. */
int disc_failure(const struct disc *disc, enum disc_op op, long call);

#endif
