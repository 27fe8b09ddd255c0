/*
 * The emulated drive one layer down: a CD-ROM drive that answers the SCSI
 * multimedia (MMC) commands which Linux's usb-storage, sr and cdrom drivers
 * send, from the same disc descriptions (disc.h). The kernel then makes the
 * CD-ROM ioctls of these answers itself. Transport-free: cdemu-usb.c carries
 * the commands.
 */
#ifndef CDEMU_SCSI_H
#define CDEMU_SCSI_H

#include <stddef.h>
#include <stdint.h>

#include "disc.h"

#define SCSI_GOOD 0
#define SCSI_CHECK_CONDITION 2

/* The longest answer: a table of contents of 255 tracks and the lead-out. */
#define SCSI_MAX_DATA (4 + 8 * (DISC_MAX_TRACKS + 1))

/* The drive as its firmware keeps it: the disc, and what changes. */
struct scsi_unit {
    struct disc disc;
    char product[17];       /* INQUIRY's product identification */
    int audio_status;       /* changes when the drive is told to stop */
    uint8_t sense[3];       /* key, ASC, ASCQ of the last command that failed */
};

/* Whether every statement of a description has a meaning below the
 * kernel; if not, returns -1 with what cannot be served in error. */
int scsi_check_disc(const struct disc *disc, char *error, size_t error_size);

/* A drive holding disc, answering INQUIRY with product (at most 16
 * characters). */
void scsi_init(struct scsi_unit *unit, const struct disc *disc, const char *product);

/* The disc as described again, as if just inserted: the audio status. */
void scsi_reset(struct scsi_unit *unit);

/* Runs a command block. Its data-in answer goes to data (SCSI_MAX_DATA
 * bytes), its length to *length. Returns SCSI_GOOD, or
 * SCSI_CHECK_CONDITION with the sense kept for REQUEST SENSE. */
int scsi_command(struct scsi_unit *unit, const uint8_t cdb[16], uint8_t *data, size_t *length);

#endif
