#include "scsi.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <linux/cdrom.h>

/* Sense keys */
#define NOT_READY 0x02
#define MEDIUM_ERROR 0x03
#define ILLEGAL_REQUEST 0x05

/* Additional sense codes */
#define INVALID_OPCODE 0x20
#define INVALID_FIELD 0x24
#define NO_MEDIUM 0x3a
#define UNRECOVERED_READ 0x11
#define TOC_UNRECOVERABLE 0x57

static void describe_fail(const struct disc_fail *f, char *out, size_t size)
{
    int n = snprintf(out, size, "fail %s %s", disc_op_name(f->op), disc_errno_name(f->err));
    if (n > 0 && (size_t)n < size && f->from != 1)
        n += snprintf(out + n, size - (size_t)n, " from %ld", f->from);
    if (n > 0 && (size_t)n < size && f->count != 0)
        snprintf(out + n, size - (size_t)n, " for %ld", f->count);
}

int scsi_check_disc(const struct disc *d, char *error, size_t error_size)
{
    char what[96] = "";
    const char *why = NULL;
    if (d->sdl_init_error[0] != '\0' || d->sdl_cdrom_error[0] != '\0'
        || d->sdl_mutex_error[0] != '\0') {
        snprintf(what, sizeof what, "sdl-fail");
        why = "SDL's own functions are not the drive's to fail";
    } else if (d->empty_errno != 0 && d->empty_errno != ENOMEDIUM) {
        snprintf(what, sizeof what, "empty %s", disc_errno_name(d->empty_errno));
        why = "the kernel reports a drive without a disc as ENOMEDIUM, whatever the drive says";
    }
    for (int i = 0; why == NULL && i < d->nfails; i++) {
        const struct disc_fail *f = &d->fails[i];
        describe_fail(f, what, sizeof what);
        if (f->op == OP_OPEN)
            why = "opening the device sends the drive nothing it could fail";
        else if (f->from != 1 || f->count != 0)
            why = "calls cannot be counted below the kernel, which sends the same commands "
                  "of its own accord";
        else if (f->err != EIO && f->err != ENOMEDIUM)
            why = "the kernel turns a failed command into EIO, or ENOMEDIUM for a drive "
                  "that is not ready";
    }
    if (why == NULL)
        return 0;
    snprintf(error, error_size, "'%s' cannot be served below the kernel: %s", what, why);
    return -1;
}

void scsi_init(struct scsi_unit *unit, const struct disc *disc, const char *product)
{
    memset(unit, 0, sizeof *unit);
    unit->disc = *disc;
    snprintf(unit->product, sizeof unit->product, "%s", product);
    scsi_reset(unit);
}

void scsi_reset(struct scsi_unit *unit)
{
    unit->audio_status = unit->disc.audio_status;
    memset(unit->sense, 0, sizeof unit->sense);
}

static int check_condition(struct scsi_unit *d, uint8_t key, uint8_t asc)
{
    d->sense[0] = key;
    d->sense[1] = asc;
    d->sense[2] = 0;
    return SCSI_CHECK_CONDITION;
}

/* The failure that a command of op meets, as the kernel reads it back:
 * ENOMEDIUM from NOT READY, EIO from any other sense. -1 for none. */
static int failure(struct scsi_unit *d, enum disc_op op, uint8_t medium_asc)
{
    int err = disc_failure(&d->disc, op, DISC_UNCOUNTED);
    if (err == 0)
        return -1;
    if (err == ENOMEDIUM)
        return check_condition(d, NOT_READY, NO_MEDIUM);
    return check_condition(d, MEDIUM_ERROR, medium_asc);
}

static void put16(uint8_t *p, unsigned v)
{
    p[0] = (uint8_t)(v >> 8);
    p[1] = (uint8_t)v;
}

static void put32(uint8_t *p, unsigned long v)
{
    put16(p, (unsigned)(v >> 16 & 0xffff));
    put16(p + 2, (unsigned)(v & 0xffff));
}

/* A frame address, lead-in included, as MMC writes it: 0, M, S, F or the
 * logical block address, two's complement where it is below 0. */
static void put_address(uint8_t *p, long address, int msf)
{
    if (msf) {
        struct disc_msf a = disc_msf(address);
        p[0] = 0;
        p[1] = a.minute;
        p[2] = a.second;
        p[3] = a.frame;
    } else {
        put32(p, (unsigned long)disc_lba(address) & 0xffffffffUL);
    }
}

static size_t inquiry(const struct scsi_unit *d, uint8_t *data)
{
    memset(data, 0, 36);
    data[0] = 0x05;     /* CD/DVD device */
    data[1] = 0x80;     /* removable medium */
    data[3] = 0x02;
    data[4] = 36 - 5;
    memcpy(data + 8, "cdemu   ", 8);
    memset(data + 16, ' ', 16);
    memcpy(data + 16, d->product, strlen(d->product));
    memcpy(data + 32, "1   ", 4);
    return 36;
}

static size_t request_sense(struct scsi_unit *d, uint8_t *data)
{
    memset(data, 0, 18);
    data[0] = 0x70;     /* current error, fixed format */
    data[2] = d->sense[0];
    data[7] = 18 - 8;
    data[12] = d->sense[1];
    data[13] = d->sense[2];
    return 18;
}

static int read_subchannel(struct scsi_unit *d, const uint8_t *cdb, uint8_t *data, size_t *length)
{
    int failed = failure(d, OP_SUBCHNL, UNRECOVERED_READ);
    if (failed >= 0)
        return failed;
    if (cdb[3] != 1)    /* only the current position */
        return check_condition(d, ILLEGAL_REQUEST, INVALID_FIELD);
    int msf = cdb[1] & 0x02;
    memset(data, 0, 16);
    data[1] = (uint8_t)d->audio_status;
    put16(data + 2, 12);
    data[4] = 1;
    if (disc_present(&d->disc)) {   /* without one (empty sr), no position */
        data[5] = 0x10; /* ADR 1: position; control 0 */
        data[6] = (uint8_t)d->disc.first;
        data[7] = 1;
        put_address(data + 8, disc_rest_address(&d->disc), msf);
    }
    *length = 16;
    return SCSI_GOOD;
}

static size_t toc_descriptor(uint8_t *p, struct disc_entry entry, int msf)
{
    p[0] = 0;
    p[1] = (uint8_t)(0x10 | (entry.data ? CDROM_DATA_TRACK : 0));
    p[2] = (uint8_t)entry.number;
    p[3] = 0;
    put_address(p + 4, entry.address, msf);
    return 8;
}

/* Format 0 only: the tracks from the one asked for (the first when 0), then
 * the lead-out (0xAA alone); a track the disc does not have is an invalid
 * field. The kernel's header read asks for track 0 by logical address, its
 * entry reads for one track each by MSF. */
static int read_toc(struct scsi_unit *d, const uint8_t *cdb, uint8_t *data, size_t *length)
{
    const struct disc *disc = &d->disc;
    int format = cdb[2] & 0x0f;
    if (format == 0)
        format = cdb[9] >> 6;   /* the older place of the format */
    int msf = cdb[1] & 0x02;
    int track = cdb[6];
    if (format != 0)
        return check_condition(d, ILLEGAL_REQUEST, INVALID_FIELD);
    int failed = failure(d, !msf && track == 0 ? OP_TOCHDR : OP_TOCENTRY, TOC_UNRECOVERABLE);
    if (failed >= 0)
        return failed;
    int from = track == 0 ? 0 : disc_entry_index(disc, track);
    if (from < 0)
        return check_condition(d, ILLEGAL_REQUEST, INVALID_FIELD);
    size_t n = 4;
    for (int i = from; i <= disc->ntracks; i++)
        n += toc_descriptor(data + n, disc_entry_at(disc, i), msf);
    put16(data, (unsigned)(n - 2));
    data[2] = (uint8_t)disc_header_first(disc);
    data[3] = (uint8_t)disc_header_last(disc);
    *length = n;
    return SCSI_GOOD;
}

int scsi_command(struct scsi_unit *d, const uint8_t cdb[16], uint8_t *data, size_t *length)
{
    *length = 0;
    if (cdb[0] != 0x03)
        memset(d->sense, 0, sizeof d->sense);
    switch (cdb[0]) {
    case 0x00:  /* TEST UNIT READY */
        return disc_present(&d->disc) ? SCSI_GOOD : check_condition(d, NOT_READY, NO_MEDIUM);
    case 0x03:  /* REQUEST SENSE */
        *length = request_sense(d, data);
        memset(d->sense, 0, sizeof d->sense);
        return SCSI_GOOD;
    case 0x12:  /* INQUIRY */
        if (cdb[1] & 0x01)  /* no vital product data pages */
            return check_condition(d, ILLEGAL_REQUEST, INVALID_FIELD);
        *length = inquiry(d, data);
        return SCSI_GOOD;
    case 0x1b:  /* START STOP UNIT: a stop ends play; loading and ejecting do nothing */
        if ((cdb[4] & 0x03) == 0) {
            int failed = failure(d, OP_STOP, UNRECOVERED_READ);
            if (failed >= 0)
                return failed;
            if (disc_present(&d->disc))
                d->audio_status = CDROM_AUDIO_NO_STATUS;
        }
        return SCSI_GOOD;
    case 0x1e:  /* PREVENT ALLOW MEDIUM REMOVAL */
        return SCSI_GOOD;
    case 0x25: {    /* READ CAPACITY: the last block and the block size */
        if (!disc_present(&d->disc))
            return check_condition(d, NOT_READY, NO_MEDIUM);
        long last = disc_lba(d->disc.leadout) - 1;
        put32(data, (unsigned long)(last > 0 ? last : 0));
        put32(data + 4, 2048);
        *length = 8;
        return SCSI_GOOD;
    }
    case 0x42:
        return read_subchannel(d, cdb, data, length);
    case 0x43:
        return read_toc(d, cdb, data, length);
    default:
        return check_condition(d, ILLEGAL_REQUEST, INVALID_OPCODE);
    }
}
