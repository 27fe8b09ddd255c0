// The emulated drive: it refuses a disc description it cannot read, naming
// the file and line, instead of guessing; and its two ways into a program
// serve the same drive.

#include <csignal>

#include <gtest/gtest.h>

#include "EmulatedDrive.h"
#include "ProgramRun.h"
#include "RequireInstalled.h"

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

// The drive is one, however it reaches a program: cd-discid, loading the
// emulator or traced by cdemu-run, sees the same disc, and the drive logs
// the same calls and fails the same ones.
TEST(Emulator, ServesTheSameDriveThroughBothWaysIn)
{
    REQUIRE_INSTALLED(onPath("cd-discid"), "cd-discid");

    const std::string sample = readFile(CDTRACKS_SAMPLE_DISC);
    for (const std::string& disc : {sample, "status playing\n" + sample,
             sample + "fail CDROMREADTOCHDR EIO\n", sample + "fail open EACCES\n",
             std::string("empty\n"), std::string("bogus\n")}) {
        std::string seen[2];
        for (const WayIn way : {WayIn::Preload, WayIn::Tracer}) {
            EmulatedDrive drive;
            drive.load(disc);
            const ProgramRun r(drive.runOptions(
                {"cd-discid", "--musicbrainz", drive.device()}, way, ""));
            std::string err = r.err();
            const std::string dir = drive.directory().path();
            for (std::size_t at; (at = err.find(dir)) != std::string::npos;) {
                err.replace(at, dir.size(), "DIR");
            }
            seen[way == WayIn::Tracer] = "status " + std::to_string(r.exitCode()) + "\nstdout:\n"
                + r.out() + "stderr:\n" + err + "calls:\n" + drive.calls();
        }
        EXPECT_EQ(seen[1], seen[0]) << disc;
        if (disc == sample) {
            EXPECT_NE(seen[0].find("status 0\nstdout:\n12 "), std::string::npos) << seen[0];
        }
    }

    // The tracer ends as the program did, by a signal too.
    EmulatedDrive probe;
    const ProgramRun killed(probe.runOptions({"sh", "-c", "kill -TERM $$"}, WayIn::Tracer, ""));
    EXPECT_EQ(killed.signal(), SIGTERM) << killed.describe();
}

// A run that hangs is ended, and says so.
TEST(ProgramRun, EndsARunThatOutlivesItsLimit)
{
    ProgramRun::Options o;
    o.argv = {"sleep", "30"};
    o.timeoutSeconds = 1;
    const ProgramRun r(o);
    EXPECT_TRUE(r.timedOut());
    EXPECT_EQ(r.describe().rfind("timed out: killed after 1 s", 0), 0u) << r.describe();
}
