// The emulated drive: it refuses a disc description it cannot read, naming
// the file and line, instead of guessing; and its two ways into a program
// serve the same drive.

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <ostream>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

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

// A program that does to the drive what a program may do with its
// descriptors (cdemu/drive-probe.c), and the way it is run.
struct DescriptorProbe {
    const char* name;
    const char* probe;
    WayIn way;
    bool traced;
};

// Its name in GoogleTest's output.
void PrintTo(const DescriptorProbe& probe, std::ostream* out)
{
    *out << probe.name;
}

namespace {

// How the 32-bit probe runs here: directly where the kernel runs 32-bit x86
// programs, else under qemu-user (which runs the probe's own loader, and so
// the preloaded emulator, inside it); or why it cannot run.
struct Runner32 {
    std::vector<std::string> prefix;  // before the probe: qemu-user, or nothing
    std::string whyNot;               // "" where it runs
};

Runner32 find32BitRunner()
{
    if (std::string(DRIVE_PROBE_I686).empty()) {
        return {{}, std::string("the 32-bit probe is not built: ") + DRIVE_PROBE_I686_MISSING};
    }
    const pid_t child = fork();
    if (child == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execl(DRIVE_PROBE_I686, DRIVE_PROBE_I686, "/dev/null", "traced", static_cast<char*>(nullptr));
        _exit(errno == ENOEXEC ? 2 : 3);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 2) {
        return {{}, ""};
    }
    for (const char* qemu : {"/usr/bin/qemu-i386-static", "/usr/bin/qemu-i386"}) {
        if (access(qemu, X_OK) == 0) {
            return {{qemu}, ""};
        }
    }
    return {{}, "this machine's kernel does not run 32-bit x86 programs (exec format error), and "
                "qemu-i386-static is missing (Debian package qemu-user-static)"};
}

const Runner32& runner32()
{
    static const Runner32 runner = find32BitRunner();
    return runner;
}

} // namespace

class Descriptors : public testing::TestWithParam<DescriptorProbe> {
protected:
    void SetUp() override
    {
        if (GetParam().traced) {
            REQUIRE_TRACER();
        }
        if (is32Bit()) {
            const std::string& why = runner32().whyNot;
#ifdef __x86_64__
            // CI's x86-64 machines have the compiler and qemu-user: a skip
            // there would hide a fault.
            if (std::getenv("CI") != nullptr && !why.empty()) {
                FAIL() << why;
            }
#endif
            if (!why.empty()) {
                GTEST_SKIP() << why;
            }
        }
    }

    bool is32Bit() const { return std::string(GetParam().name).rfind("I686", 0) == 0; }

    // Runs the probe on the sample disc, these steps after "traced"; under
    // qemu-user, a static program, the preload is asked for.
    ProgramRun run(const EmulatedDrive& drive, std::vector<std::string> steps) const
    {
        steps.insert(steps.begin(), {GetParam().probe, drive.device(), "traced"});
        WayIn way = GetParam().way;
        if (is32Bit() && !runner32().prefix.empty()) {
            steps.insert(steps.begin(), runner32().prefix.begin(), runner32().prefix.end());
            way = WayIn::Preload;
        }
        return ProgramRun(drive.runOptions(steps, way, ""));
    }

    std::string how() const { return GetParam().traced ? "traced\n" : "not traced\n"; }
};

// A descriptor on the drive is the drive's in the process that opened it,
// in a forked or vforked child (whichever closes its copy first) and in its
// copies; with-disc takes the tracer for a static program.
TEST_P(Descriptors, StayTheDrivesAcrossForkVforkAndCopies)
{
    EmulatedDrive drive;
    drive.load(readFile(CDTRACKS_SAMPLE_DISC));
    const ProgramRun r = run(drive, {"open", "fork", "toc", "vfork", "toc", "dup", "toc", "dup2",
        "toc", "dup3", "toc", "fcntl", "toc"});
    EXPECT_EQ(r.out(), how() + "child: toc 1-12\ntoc 1-12\nchild: toc 1-12\ntoc 1-12\n"
                               "toc 1-12\ntoc 1-12\ntoc 1-12\ntoc 1-12\n");
    EXPECT_EQ(r.exitCode(), 0) << r.describe();
}

// One closed by close_range or closefrom is no longer the drive's: the file
// that takes its number is itself. And the call log, which closefrom closed
// too, loses no line and writes none into the program's files.
TEST_P(Descriptors, EndWithCloseRangeAndClosefrom)
{
    EmulatedDrive drive;
    drive.load(readFile(CDTRACKS_SAMPLE_DISC));
    const ProgramRun r = run(drive, {"open", "toc", "closefrom", "toc", "open", "toc",
        "close_range", "toc", "openat", "toc"});
    if (r.exitCode() == 77) {
        GTEST_SKIP() << r.err();
    }
    const std::string notTheDrive = "toc: Inappropriate ioctl for device\n";
    EXPECT_EQ(r.out(), how() + "toc 1-12\n" + notTheDrive + "toc 1-12\n" + notTheDrive + "toc 1-12\n");
    EXPECT_EQ(r.exitCode(), 0) << r.describe();
    EXPECT_EQ(drive.calls(), "open\nCDROMREADTOCHDR\nclose\nopen\nCDROMREADTOCHDR\nclose\n"
                             "open\nCDROMREADTOCHDR\n");
}

INSTANTIATE_TEST_SUITE_P(Emulator, Descriptors,
    testing::Values(DescriptorProbe{"Preloaded", DRIVE_PROBE, WayIn::Preload, false},
        DescriptorProbe{"Traced", DRIVE_PROBE, WayIn::Tracer, true},
        DescriptorProbe{"ChosenEachRun", DRIVE_PROBE, WayIn::ChosenEachRun, false},
        DescriptorProbe{"StaticChosenEachRun", DRIVE_PROBE_STATIC, WayIn::ChosenEachRun, true},
        DescriptorProbe{"StaticChosen", DRIVE_PROBE_STATIC, WayIn::Chosen, true},
        // Its fcntl and ioctl are glibc's __fcntl_time64 and __ioctl_time64.
        DescriptorProbe{"I686Time64Preloaded", DRIVE_PROBE_I686, WayIn::ChosenEachRun, false}),
    [](const testing::TestParamInfo<DescriptorProbe>& info) { return info.param.name; });

// Both ways in: the tracer's cases are skipped, saying why, where it is not
// built.
class BothWaysIn : public testing::TestWithParam<WayIn> {
protected:
    void SetUp() override
    {
        if (GetParam() == WayIn::Tracer) {
            REQUIRE_TRACER();
        }
    }
};

// The device is its own file however its path is spelt: relative, with
// "./" or "..", through a linked folder, opened by its name in its folder.
// The file it links to, /dev/null, and another link to that, are not it.
TEST_P(BothWaysIn, KnowTheDeviceHoweverItsPathIsSpelt)
{
    EmulatedDrive drive;
    drive.load(readFile(CDTRACKS_SAMPLE_DISC));
    const std::filesystem::path device = std::filesystem::canonical(
        std::filesystem::path(drive.device()).parent_path()) / "drive";
    const std::filesystem::path emulator = device.parent_path();
    const std::filesystem::path scratch = std::filesystem::canonical(drive.directory().path());
    std::filesystem::create_directory_symlink(emulator, scratch / "linked folder");
    std::filesystem::create_symlink("/dev/null", scratch / "other link");
    const std::string drives = "toc 1-12\n";
    const std::string notTheDrive = "toc: Inappropriate ioctl for device\n";
    const struct {
        std::string cwd, path, open, out;
    } cases[] = {
        {emulator, "drive", "open", drives},
        {emulator, "./drive", "open", drives},
        {emulator, "../" + emulator.filename().string() + "/./drive", "open", drives},
        {scratch, device.lexically_relative(scratch), "open", drives},
        {scratch, "linked folder/drive", "open", drives},
        {scratch, scratch / "linked folder" / "drive", "open", drives},
        {scratch, "linked folder/drive", "openat", drives},
        {emulator, "drive", "openat", drives},
        {scratch, "/dev/null", "open", notTheDrive},
        {scratch, "other link", "open", notTheDrive},
    };
    for (const auto& c : cases) {
        ProgramRun::Options o =
            drive.runOptions({DRIVE_PROBE, c.path, c.open, "toc"}, GetParam(), "");
        o.cwd = c.cwd;
        const ProgramRun r(o);
        EXPECT_EQ(r.out(), c.out) << c.path << " " << c.open << " from " << c.cwd << ": "
                                  << r.describe();
    }
}

INSTANTIATE_TEST_SUITE_P(Emulator, BothWaysIn, testing::Values(WayIn::Preload, WayIn::Tracer),
    [](const testing::TestParamInfo<WayIn>& info) {
        return info.param == WayIn::Tracer ? "Traced" : "Preloaded";
    });

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
    drive.useDevice(dir.file("device"));
    for (const auto& c : cases) {
        const ProgramRun r(
            drive.runOptions({DRIVE_PROBE, dir.file(c.opened), "open", "toc"}, WayIn::Preload, ""));
        EXPECT_EQ(r.out(), c.out) << c.opened << ": " << r.describe();
    }
}

namespace {

// A copy of the emulator (with-disc and what it runs) in folder dir.
void copyEmulator(const std::string& dir)
{
    std::filesystem::create_directories(dir);
    const std::string emulator = std::filesystem::path(CDEMU_WITH_DISC).parent_path();
    for (const char* file : {"with-disc", "elf.sh", "libcdemu.so", "cdemu-run", "drive"}) {
        if (std::filesystem::exists(std::filesystem::symlink_status(emulator + "/" + file))) {
            std::filesystem::copy(emulator + "/" + file, dir + "/" + file,
                std::filesystem::copy_options::copy_symlinks);
        }
    }
}

} // namespace

// with-disc preloads the emulator from a folder whose path has a blank or a
// letter beyond ASCII, which LD_PRELOAD cannot carry: a clone of the
// project may be in one.
TEST(Emulator, WithDiscPreloadsFromAFolderWithABlank)
{
    EmulatedDrive drive;
    drive.load(readFile(CDTRACKS_SAMPLE_DISC));
    const std::string dir = drive.directory().path() + "/a folder/\xc3\xbc";
    copyEmulator(dir);
    ProgramRun::Options o = drive.runOptions(
        {DRIVE_PROBE, dir + "/drive", "traced", "open", "toc"}, WayIn::ChosenEachRun, "");
    o.argv[0] = dir + "/with-disc";
    const ProgramRun r(o);
    EXPECT_EQ(r.out(), "not traced\ntoc 1-12\n") << r.describe();
    EXPECT_EQ(r.exitCode(), 0) << r.describe();
}

// What with-disc cannot serve it refuses, saying why, with status 125: a
// device whose path has a colon, at which SDL splits SDL_CDROM (a program
// would find no drive and list nothing, as if there were none), and a
// folder with a colon or semicolon, where the loader cannot find the
// library; and a device that is a device itself, not a link to one or a
// plain file, as every other way to it would be the drive. The program does
// not run.
TEST(Emulator, WithDiscRefusesPathsItCannotServe)
{
    EmulatedDrive drive;
    drive.load(readFile(CDTRACKS_SAMPLE_DISC));
    const std::string scratch = drive.directory().path();
    std::filesystem::create_symlink("/dev/null", scratch + "/drive:1");
    copyEmulator(scratch + "/a:b");
    copyEmulator(scratch + "/a;b");
    const struct {
        std::string withDisc, device, error;
    } cases[] = {
        {CDEMU_WITH_DISC, scratch + "/drive:1",
            "with-disc: the device " + scratch + "/drive:1 has a colon in its path, at which SDL "
            "splits SDL_CDROM: no program would see the drive\n"},
        {scratch + "/a:b/with-disc", "",
            "with-disc: the device " + scratch + "/a:b/drive has a colon in its path, at which SDL "
            "splits SDL_CDROM: no program would see the drive\n"},
        {scratch + "/a:b/with-disc", drive.device(),
            "with-disc: the loader cannot find libcdemu.so in " + scratch + "/a:b: LD_LIBRARY_PATH "
            "is split at colons and semicolons\n"},
        {scratch + "/a;b/with-disc", drive.device(),
            "with-disc: the loader cannot find libcdemu.so in " + scratch + "/a;b: LD_LIBRARY_PATH "
            "is split at colons and semicolons\n"},
        {CDEMU_WITH_DISC, "/dev/null",
            "with-disc: the device /dev/null is neither a symlink nor a plain file\n"},
    };
    for (const auto& c : cases) {
        drive.useDevice(c.device);
        ProgramRun::Options o = drive.runOptions({DRIVE_PROBE, "drive", "open", "toc"}, WayIn::Preload, "");
        o.argv[0] = c.withDisc;
        const ProgramRun r(o);
        EXPECT_EQ(r.err(), c.error);
        EXPECT_EQ(r.out(), "");
        EXPECT_EQ(r.exitCode(), 125) << r.describe();
    }
}

// with-disc alone sets the drive's environment: what the caller had of it
// is dropped, and --env prints what a program would be given (absolute
// paths, the program may change folders), a variable a line. Nothing on a
// drive without a disc; a path with a line break, which no line can carry,
// is refused; an option without its value is a usage error.
TEST(Emulator, WithDiscAloneSetsTheDrivesEnvironment)
{
    EmulatedDrive drive;
    drive.load(readFile(CDTRACKS_SAMPLE_DISC));
    const TempDir& dir = drive.directory();
    writeFile(dir.file("device"), "");
    const std::string given = "CDEMU_DEVICE=" + dir.file("device") + "\nCDEMU_DISC=" + dir.file("disc")
        + "\nSDL_CDROM=" + dir.file("device") + "\nCDEMU_LOG=" + dir.file("log") + "\n";
    const std::vector<std::pair<std::string, std::string>> stale = {{"CDEMU_DEVICE", "/dev/null"},
        {"CDEMU_DISC", "/nowhere"}, {"CDEMU_LOG", "/nowhere/log"}, {"SDL_CDROM", "/dev/sr0"}};
    const struct {
        std::vector<std::string> args;
        std::string out;
        int status;
    } cases[] = {
        {{"--device", "device", "--log", "log", "--env", "disc"}, given, 0},
        {{"--device", "device", "--log", "log", "disc", "sh", "-c",
             "for v in CDEMU_DEVICE CDEMU_DISC SDL_CDROM CDEMU_LOG; do eval \"echo $v=\\$$v\"; done"},
            given, 0},
        {{"--env", ""}, "", 0},
        {{"--log", "log", "--env", ""}, "CDEMU_LOG=" + dir.file("log") + "\n", 0},
        {{"", "sh", "-c", "echo ${CDEMU_DEVICE-unset} ${CDEMU_DISC-unset} ${SDL_CDROM-unset} "
                          "${CDEMU_LOG-unset}"},
            "unset unset unset unset\n", 0},
        {{"--log", "a\nb", "--env", "disc"}, "", 125},
        {{"--device", "--env", "disc"}, "", 2},
        {{"--log", "", "--env", "disc"}, "", 2},
        {{"--env", "disc", "sh"}, "", 2},
    };
    for (const auto& c : cases) {
        ProgramRun::Options o;
        o.argv = {CDEMU_WITH_DISC};
        o.argv.insert(o.argv.end(), c.args.begin(), c.args.end());
        o.env = stale;
        o.cwd = dir.path();
        const ProgramRun r(o);
        EXPECT_EQ(r.out(), c.out) << c.args.back();
        EXPECT_EQ(r.exitCode(), c.status) << c.args.back() << ": " << r.describe();
        EXPECT_EQ(r.err().empty(), c.status == 0) << r.err();
    }
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
