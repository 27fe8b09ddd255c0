// The emulated drive refuses a disc description it cannot read, naming the
// file and line, instead of guessing.

#include <gtest/gtest.h>

#include "EmulatedDrive.h"
#include "ProgramRun.h"

TEST(Emulator, RejectsABadDescriptionWithFileAndLine)
{
    const struct {
        const char* description;
        const char* error;
    } cases[] = {
        {"track audio 150\nbogus 1\nleadout 900\n", ":2: unknown keyword 'bogus'"},
        {"track audio 1:60:00\nleadout 9000\n",
            ":1: expected 'track audio|data START', START as FRAMES or M:S:F"},
        {"track audio 150\n", ":1: no 'leadout' line"},
        {"first 169\ntrack audio 150\ntrack audio 300\nleadout 900\n",
            ":4: track numbers from 169 reach 170, the lead-out's"},
        {"fail CDROMREADTOCENTRY EWHAT\n",
            ":1: expected 'fail OPERATION ERRNO [from K] [for C]'"},
        {"status spinning\n",
            ":1: expected 'status stopped|invalid|completed|playing|paused|error'"},
    };
    for (const auto& c : cases) {
        EmulatedDrive drive;
        drive.load(c.description);
        const ProgramRun r(drive.runOptions({CDTRACKS_BINARY}));
        EXPECT_EQ(r.exitCode(), 97) << c.description;
        EXPECT_EQ(r.err(), "cdemu: " + drive.directory().file("disc") + c.error + "\n");
        EXPECT_EQ(r.out(), "");
    }
}
