// The emulated drive: it refuses a disc description it cannot read, naming
// the file and line, instead of guessing; and its two ways into a program
// serve the same drive.

#include <csignal>
#include <filesystem>

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
    REQUIRE_TRACER();

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
}

// A descriptor on the drive is the drive's in the process that opened it,
// in a forked child (whichever closes its copy first) and in its copies,
// both ways in; with-disc takes the tracer for a static program.
TEST(Emulator, FollowsDescriptorsAcrossForkAndDup)
{
    const struct {
        const char* probe;
        WayIn way;
        const char* how;
    } cases[] = {
        {DRIVE_PROBE, WayIn::Preload, "not traced\n"},
        {DRIVE_PROBE, WayIn::Tracer, "traced\n"},
        {DRIVE_PROBE, WayIn::ChosenEachRun, "not traced\n"},
        {DRIVE_PROBE_STATIC, WayIn::ChosenEachRun, "traced\n"},
        {DRIVE_PROBE_STATIC, WayIn::Chosen, "traced\n"},
    };
    for (const auto& c : cases) {
        if (!tracerBuilt && std::string(c.how) == "traced\n") {
            continue;
        }
        SCOPED_TRACE(std::string(c.probe) + " " + c.how);
        EmulatedDrive drive;
        drive.load(readFile(CDTRACKS_SAMPLE_DISC));
        const ProgramRun r(drive.runOptions({c.probe, drive.device(), "traced", "open", "fork",
            "toc", "dup", "toc", "dup2", "toc", "dup3", "toc", "fcntl", "toc"}, c.way, ""));
        EXPECT_EQ(r.out(), std::string(c.how) + "child: toc 1-12\ntoc 1-12\ntoc 1-12\n"
                                                 "toc 1-12\ntoc 1-12\ntoc 1-12\n");
        EXPECT_EQ(r.exitCode(), 0) << r.describe();
    }
}

// A device that is a regular file (Wine's drive D:) is known by its
// identity, whatever path or descriptor reaches it: its own path, a
// symlink and a hard link to it are the drive; another file beside it is
// not.
TEST(Emulator, KnowsADeviceFileByItsIdentity)
{
    EmulatedDrive drive;
    drive.load(readFile(CDTRACKS_SAMPLE_DISC));
    const TempDir& dir = drive.directory();
    writeFile(dir.file("device"), "");
    writeFile(dir.file("other"), "");
    std::filesystem::create_symlink(dir.file("device"), dir.file("symlink"));
    std::filesystem::create_hard_link(dir.file("device"), dir.file("hard link"));
    const struct {
        const char* opened;
        const char* out;
    } cases[] = {
        {"device", "toc 1-12\n"},
        {"symlink", "toc 1-12\n"},
        {"hard link", "toc 1-12\n"},
        {"other", "toc: Inappropriate ioctl for device\n"},
    };
    for (const auto& c : cases) {
        ProgramRun::Options o =
            drive.runOptions({DRIVE_PROBE, dir.file(c.opened), "open", "toc"}, WayIn::Preload, "");
        o.env.emplace_back("CDEMU_DEVICE", dir.file("device"));
        const ProgramRun r(o);
        EXPECT_EQ(r.out(), c.out) << c.opened << ": " << r.describe();
    }
}

// with-disc reaches a program from a folder whose path has a blank, which
// LD_PRELOAD cannot carry: a clone of the project may be in one.
TEST(Emulator, WithDiscWorksFromAFolderWithABlank)
{
    REQUIRE_TRACER();
    EmulatedDrive drive;
    drive.load(readFile(CDTRACKS_SAMPLE_DISC));
    const std::string dir = drive.directory().path() + "/a folder";
    std::filesystem::create_directory(dir);
    const std::string emulator = std::filesystem::path(CDEMU_WITH_DISC).parent_path();
    for (const char* file : {"with-disc", "elf.sh", "libcdemu.so", "cdemu-run", "drive"}) {
        std::filesystem::copy(emulator + "/" + file, dir + "/" + file,
            std::filesystem::copy_options::copy_symlinks);
    }
    ProgramRun::Options o =
        drive.runOptions({DRIVE_PROBE, dir + "/drive", "open", "toc"}, WayIn::ChosenEachRun, "");
    o.argv[0] = dir + "/with-disc";
    const ProgramRun r(o);
    EXPECT_EQ(r.out(), "toc 1-12\n") << r.describe();
    EXPECT_EQ(r.exitCode(), 0) << r.describe();
}

// The tracer ends when the program ends, as it ended, whatever it left
// running; a stop signal stops the program until a SIGCONT, as untraced.
TEST(Emulator, TracerEndsWithTheProgramAndPassesStopsOn)
{
    REQUIRE_TRACER();
    EmulatedDrive drive;
    const ProgramRun killed(drive.runOptions({"sh", "-c", "kill -TERM $$"}, WayIn::Tracer, ""));
    EXPECT_EQ(killed.signal(), SIGTERM) << killed.describe();

    ProgramRun::Options left = drive.runOptions({"sh", "-c", "sleep 60 & exit 3"}, WayIn::Tracer, "");
    left.timeoutSeconds = 10;
    const ProgramRun r(left);
    EXPECT_EQ(r.exitCode(), 3) << r.describe();

    // A child watches for its stopped parent (state "t", traced and
    // stopped: 5 s at most), then continues it.
    const ProgramRun stopped(drive.runOptions({"sh", "-c",
        "p=$$; (n=0; until [ \"$(cut -d' ' -f3 /proc/$p/stat)\" = t ] || [ $n -ge 100 ]; do "
        "sleep 0.05; n=$((n + 1)); done; cut -d' ' -f3 /proc/$p/stat; kill -CONT $p) & "
        "kill -STOP $$; wait; echo continued"}, WayIn::Tracer, ""));
    EXPECT_EQ(stopped.out(), "t\ncontinued\n") << stopped.describe();
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
