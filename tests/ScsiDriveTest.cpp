// The emulated drive below the kernel (cdemu-usb) refuses the statements of
// a description that no drive could make true there, instead of ignoring
// them; make check-vm runs the rest through the kernel.

#include <gtest/gtest.h>

#include "TempDir.h"

extern "C" {
#include "scsi.h"
}

namespace {

std::string checkDisc(const std::string& description)
{
    TempDir dir;
    writeFile(dir.file("disc"), description);
    struct disc disc {};
    char error[512];
    if (disc_load(dir.file("disc").c_str(), &disc, error, sizeof error) != 0) {
        return std::string("unreadable: ") + error;
    }
    return scsi_check_disc(&disc, error, sizeof error) == 0 ? "" : error;
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
