// The emulated drive below the kernel (cdemu-usb): it refuses the
// statements of a description that no drive could make true there, instead
// of ignoring them; and it answers the command blocks that Linux's sr and
// cdrom drivers send with the bytes MMC lays down, without a kernel.
// make check-vm runs the same discs through a real kernel.

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <vector>

#include <gtest/gtest.h>

#include "TempDir.h"

extern "C" {
#include "scsi.h"
}

namespace {

// Reads a description as cdemu-usb does; "" or what is wrong with it.
std::string loadDisc(const std::string& description, struct disc& disc)
{
    TempDir dir;
    writeFile(dir.file("disc"), description);
    char error[512];
    if (disc_load(dir.file("disc").c_str(), &disc, error, sizeof error) != 0) {
        return std::string("unreadable: ") + error;
    }
    return scsi_check_disc(&disc, error, sizeof error) == 0 ? "" : error;
}

std::string checkDisc(const std::string& description)
{
    struct disc disc {};
    return loadDisc(description, disc);
}

std::vector<uint8_t> bytes(const std::string& hex)
{
    std::istringstream in(hex);
    std::vector<uint8_t> out;
    for (unsigned byte; in >> std::hex >> byte;) {
        out.push_back(static_cast<uint8_t>(byte));
    }
    return out;
}

std::string hex(const uint8_t* data, std::size_t length)
{
    std::string out;
    for (std::size_t i = 0; i < length; i++) {
        char byte[4];
        std::snprintf(byte, sizeof byte, i == 0 ? "%02x" : " %02x", data[i]);
        out += byte;
    }
    return out;
}

} // namespace

TEST(ScsiDrive, RefusesWhatOnlyTheIoctlLayerCanDo)
{
    const std::string disc = "track audio 150\nleadout 9000\n";
    const struct {
        const char* statement;
        const char* error;   // "": served
    } cases[] = {
        {"", ""},
        {"status playing\n", ""},
        {"fail CDROMREADTOCHDR EIO\nfail CDROMSUBCHNL ENOMEDIUM\nfail CDROMSTOP EIO\n", ""},
        {"header 1 5\n", ""},
        {"sdl-fail SDL_InitSubSystem no\n",
            "'sdl-fail' cannot be served below the kernel: SDL's own functions are not the "
            "drive's to fail"},
        {"fail open EACCES from 2\n",
            "'fail open EACCES from 2' cannot be served below the kernel: opening the device "
            "sends the drive nothing it could fail"},
        {"fail CDROMREADTOCENTRY EIO for 3\n",
            "'fail CDROMREADTOCENTRY EIO for 3' cannot be served below the kernel: calls cannot "
            "be counted below the kernel, which sends the same commands of its own accord"},
        {"fail CDROMSUBCHNL EBUSY\n",
            "'fail CDROMSUBCHNL EBUSY' cannot be served below the kernel: the kernel turns a "
            "failed command into EIO, or ENOMEDIUM for a drive that is not ready"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(checkDisc(c.statement + disc), c.error) << c.statement;
    }
    EXPECT_EQ(checkDisc("empty\n"), "");
    EXPECT_EQ(checkDisc("empty sr\n"), "");
    EXPECT_EQ(checkDisc("empty EIO\n"),
        "'empty EIO' cannot be served below the kernel: the kernel reports a drive without a "
        "disc as ENOMEDIUM, whatever the drive says");
}

// Each command block as the kernel sends it, on a fresh drive, then the
// REQUEST SENSE that usb-storage sends after it. The answers are worked out
// by hand: READ TOC format 0 is a 4-byte header (length of what follows,
// first and last track) and 8-byte descriptors (0, ADR 1 and control, track,
// 0, address: 0 M S F, or the logical block address, which leaves the
// 2-second lead-in out); READ SUB-CHANNEL's current position is a 4-byte header (0,
// audio status, length 12) and 12 bytes (format 1, ADR and control, track,
// index, absolute and relative address); sense is fixed format (0x70, key
// in byte 2, 10 more bytes, ASC and ASCQ in bytes 12 and 13).
TEST(ScsiDrive, AnswersTheKernelsCommandsAsMmcLaysThemOut)
{
    // Track 3 at 0:02:16 (block 16), data track 4 at 4:31:17 (block
    // 0x4ee0), the lead-out at 62:13:74 (block 0x4455b).
    const std::string mixed = "first 3\ntrack audio 0:02:16\ntrack data 4:31:17\n"
                              "leadout 62:13:74\nstatus playing\n";
    // A track inside the lead-in, block -75; the lead-out at block 0x10fe.
    const std::string early = "track audio 0:01:00\nleadout 1:00:00\nheader 2 5\n";
    // The header read (sr_read_tochdr: track 0 by logical address), entry
    // reads (sr_read_tocentry; the cdrom driver asks by MSF for either
    // format), the same by logical address as the kernel reads a new disc,
    // the position (cdrom_read_subchannel, by MSF) and the test for a disc.
    const char* const header = "43 00 00 00 00 00 00 00 0c 00";
    const char* const entryMsf4 = "43 02 00 00 00 00 04 00 0c 00";
    const char* const entryLba3 = "43 00 00 00 00 00 03 00 0c 00";
    const char* const leadoutMsf = "43 02 00 00 00 00 aa 00 0c 00";
    const char* const leadoutLba = "43 00 00 00 00 00 aa 00 0c 00";
    const char* const position = "42 02 40 01 00 00 00 00 10 00";
    const char* const testUnitReady = "00 00 00 00 00 00";
    const char* const noSense = "70 00 00 00 00 00 00 0a 00 00 00 00 00 00 00 00 00 00";
    const struct {
        std::string disc;
        const char* cdb;
        int status;
        const char* answer;
        const char* sense;
    } cases[] = {
        {mixed, entryMsf4, SCSI_GOOD,
            "00 12 03 04 00 14 04 00 00 04 1f 11 00 10 aa 00 00 3e 0d 4a", noSense},
        {mixed, entryLba3, SCSI_GOOD,
            "00 1a 03 04 00 10 03 00 00 00 00 10 00 14 04 00 00 00 4e e0 "
            "00 10 aa 00 00 04 45 5b", noSense},
        {mixed, leadoutMsf, SCSI_GOOD, "00 0a 03 04 00 10 aa 00 00 3e 0d 4a", noSense},
        {mixed, leadoutLba, SCSI_GOOD, "00 0a 03 04 00 10 aa 00 00 04 45 5b", noSense},
        {early, header, SCSI_GOOD,
            "00 12 02 05 00 10 01 00 ff ff ff b5 00 10 aa 00 00 00 10 fe", noSense},
        {mixed, position, SCSI_GOOD, "00 11 00 0c 01 10 03 01 00 00 02 10 00 00 00 00",
            noSense},
        {"empty sr\n", position, SCSI_GOOD, "00 00 00 0c 01 00 00 00 00 00 00 00 00 00 00 00",
            noSense},
        {"empty\n", testUnitReady, SCSI_CHECK_CONDITION, "",
            "70 00 02 00 00 00 00 0a 00 00 00 00 3a 00 00 00 00 00"},
        {"empty\n", position, SCSI_CHECK_CONDITION, "",
            "70 00 02 00 00 00 00 0a 00 00 00 00 3a 00 00 00 00 00"},
        {mixed + "fail CDROMREADTOCENTRY EIO\n", entryMsf4, SCSI_CHECK_CONDITION, "",
            "70 00 03 00 00 00 00 0a 00 00 00 00 57 00 00 00 00 00"},
        {mixed + "fail CDROMSUBCHNL EIO\n", position, SCSI_CHECK_CONDITION, "",
            "70 00 03 00 00 00 00 0a 00 00 00 00 11 00 00 00 00 00"},
        {mixed + "fail CDROMREADTOCHDR ENOMEDIUM\n", header, SCSI_CHECK_CONDITION, "",
            "70 00 02 00 00 00 00 0a 00 00 00 00 3a 00 00 00 00 00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.cdb) + " on " + c.disc);
        struct disc disc {};
        ASSERT_EQ(loadDisc(c.disc, disc), "");
        struct scsi_unit unit;
        scsi_init(&unit, &disc, "disc 1");
        uint8_t cdb[16] = {};
        const std::vector<uint8_t> given = bytes(c.cdb);
        std::copy(given.begin(), given.end(), cdb);
        uint8_t data[SCSI_MAX_DATA];
        std::size_t length = 0;
        EXPECT_EQ(scsi_command(&unit, cdb, data, &length), c.status);
        EXPECT_EQ(hex(data, length), c.answer);

        const uint8_t requestSense[16] = {0x03, 0, 0, 0, 18, 0};
        EXPECT_EQ(scsi_command(&unit, requestSense, data, &length), SCSI_GOOD);
        EXPECT_EQ(hex(data, length), c.sense);
    }
}
