// The cdtracks binary, run as a user would run it, against the emulated
// drive under the real SDL library: what it prints, how it ends, what it
// leaves in errors.txt and what it asks of the drive.

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <random>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "EmulatedDrive.h"
#include "ProgramRun.h"
#include "RequireInstalled.h"

namespace {

const std::string sampleDisc = readFile(CDTRACKS_SAMPLE_DISC);

// The sample disc's track lengths, worked out by hand from its addresses.
const std::string sampleReport = readFile(CDTRACKS_SAMPLE_DISC_REPORT);

// What a run on a stopped disc asks of the drive after reading the table:
// the stop's status query, the close, then SDL's shut-down.
const std::string stoppedExit = "CDROMSUBCHNL\nCDROMREADTOCHDR\nclose\n" + sdlQuits;

// The end of a log, as long as the expected end, so that a mismatch shows
// both.
std::string endLike(const std::string& log, const std::string& expected)
{
    return log.substr(log.size() - std::min(log.size(), expected.size()));
}

std::string workOf(const EmulatedDrive& drive)
{
    return drive.directory().file("work");
}

std::string errorsTxtOf(const EmulatedDrive& drive)
{
    return workOf(drive) + "/errors.txt";
}

// Runs cdtracks on the drive, in the drive's own scratch working directory.
ProgramRun runOn(const EmulatedDrive& drive, const std::vector<std::string>& args = {},
    const std::string& stdoutPath = "")
{
    std::filesystem::create_directories(workOf(drive));
    std::vector<std::string> argv = {CDTRACKS_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    ProgramRun::Options o = drive.runOptions(argv);
    o.cwd = workOf(drive);
    o.stdoutPath = stdoutPath;
    return ProgramRun(o);
}

class Cdtracks : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directories(work()); }
    std::string work() const { return workOf(drive); }
    std::string errorsTxt() const { return errorsTxtOf(drive); }
    ProgramRun run(const std::vector<std::string>& args = {}, const std::string& stdoutPath = "")
    {
        return runOn(drive, args, stdoutPath);
    }

    EmulatedDrive drive;
};

TEST_F(Cdtracks, ListsAnAudioDiscOneFrameCountALine)
{
    drive.load(sampleDisc);
    const ProgramRun r = run();
    EXPECT_EQ(r.out(), sampleReport);
    EXPECT_EQ(r.exitCode(), 0) << r.describe();
    EXPECT_EQ(r.err(), "");
    EXPECT_FALSE(fileExists(errorsTxt()));

    std::string expected = "open\nCDROMSUBCHNL\nclose\n"   // SDL's drive discovery
                           "open\nCDROMSUBCHNL\nCDROMREADTOCHDR\nCDROMREADTOCHDR\n";
    for (int track = 1; track <= 12; ++track) {
        expected += "CDROMREADTOCENTRY " + std::to_string(track) + "\n";
    }
    expected += "CDROMREADTOCENTRY 170\n" + stoppedExit;
    EXPECT_EQ(drive.driveCalls(), expected);
}

TEST_F(Cdtracks, ArgumentsMakeNoDifference)
{
    drive.load(sampleDisc);
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"-h"}, {"--version"}, {"/dev/sr1", "extra"}, {""}}) {
        const ProgramRun r = run(args);
        EXPECT_EQ(r.out(), sampleReport) << args[0];
        EXPECT_EQ(r.exitCode(), 0) << args[0];
        EXPECT_EQ(r.err(), "") << args[0];
    }
}

std::vector<std::string> discsIn(const std::string& directory)
{
    std::vector<std::string> discs;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        if (entry.path().extension() == ".disc") {
            discs.push_back(entry.path().string());
        }
    }
    std::sort(discs.begin(), discs.end());
    return discs;
}

// Every disc of tests/discs (which make check-vm also runs through a real
// kernel) lists as its NAME.expected says: data tracks like audio tracks
// (mixed mode, Enhanced CD), numbers from 5, 99 tracks, an empty tray, an
// unreadable table. So does every real disc of tests/discs/real, converted
// from published tables of contents (docs/real-discs.md).
TEST(CdtracksOnTheSuitesDiscs, ListThemAsTheirExpectedFilesSay)
{
    std::vector<std::string> discs = discsIn(CDTRACKS_DISCS);
    ASSERT_GE(discs.size(), 8u);
    const std::vector<std::string> real = discsIn(CDTRACKS_DISCS "/real");
    ASSERT_GE(real.size(), 25u);
    discs.insert(discs.end(), real.begin(), real.end());
    for (const std::string& disc : discs) {
        SCOPED_TRACE(disc);
        EmulatedDrive drive;
        drive.load(readFile(disc));
        const ProgramRun r = runOn(drive);
        EXPECT_EQ(r.out(), readFile(disc.substr(0, disc.size() - 5) + ".expected"));
        EXPECT_EQ(r.exitCode(), 0) << r.describe();
        EXPECT_EQ(r.err(), "");
    }
}

TEST_F(Cdtracks, PrintsSignedLengthsAsSdlComputesThem)
{
    // Track numbers from 250 and offsets that descend: SDL's unsigned
    // difference wraps, and the report shows it as a negative number.
    drive.load("first 250\ntrack audio 150\ntrack audio 0:10:00\ntrack audio 0:09:00\n"
               "track audio 1:00:00\nleadout 1:00:01\n");
    const ProgramRun r = run();
    EXPECT_EQ(r.out(), "600\n-75\n3825\n1\n");
}

TEST_F(Cdtracks, KeepsTheFirst99TracksTheLastRunningToTheLeadOut)
{
    std::string disc;
    for (int i = 0; i < 120; ++i) {
        disc += "track audio " + std::to_string(150 + 1000 * i) + "\n";
    }
    drive.load(disc + "leadout 200000\n");
    const ProgramRun r = run();
    std::string expected;
    for (int i = 0; i < 98; ++i) {
        expected += "1000\n";
    }
    expected += std::to_string(200000 - (150 + 1000 * 98)) + "\n";
    EXPECT_EQ(r.out(), expected);
    EXPECT_EQ(r.exitCode(), 0);
}

TEST(CdtracksWithoutTracks, PrintNothingAndSucceed)
{
    // exit: the last drive calls, before SDL's shut-down: the drive is
    // closed last, unless it never opened.
    const std::string tableExit = "CDROMSUBCHNL\nCDROMREADTOCHDR\nclose\n";
    const struct {
        const char* what;
        const char* disc;   // nullptr: no drive at all
        std::string exit;   // with no drive, the whole log
    } cases[] = {
        {"no drive", nullptr, ""},
        {"empty tray", "empty\n", "CDROMSUBCHNL !ENOMEDIUM\nclose\n"},
        {"empty tray, reported as EIO", "empty EIO\n", "CDROMSUBCHNL !EIO\nclose\n"},
        {"drive reports an error", "status error\ntrack audio 150\nleadout 9000\n",
            "CDROMSUBCHNL\nCDROMSUBCHNL\nclose\n"},
        {"open of the drive fails", "fail open EACCES from 2\ntrack audio 150\nleadout 9000\n",
            "close\nopen !EACCES\nopen !EACCES\n"},
        {"status query fails", "fail CDROMSUBCHNL EBUSY from 2\ntrack audio 150\nleadout 9000\n",
            "CDROMSUBCHNL !EBUSY\nclose\n"},
        {"table read fails part way",
            "fail CDROMREADTOCENTRY EIO from 2\ntrack audio 150\ntrack audio 900\n"
            "track audio 1800\nleadout 9000\n",
            "CDROMREADTOCENTRY 2 !EIO\n" + tableExit},
        {"header claims tracks the drive cannot read",
            "header 1 5\ntrack audio 150\ntrack audio 900\nleadout 9000\n",
            "CDROMREADTOCENTRY 3 !EIO\n" + tableExit},
        {"disc without tracks", "header 1 0\nleadout 9000\n",
            "CDROMREADTOCENTRY 170\n" + tableExit},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EmulatedDrive drive;
        if (c.disc != nullptr) {
            drive.load(c.disc);
        }
        const ProgramRun r = runOn(drive);
        EXPECT_EQ(r.out(), "");
        EXPECT_EQ(r.exitCode(), 0) << r.describe();
        EXPECT_EQ(r.err(), "");
        EXPECT_FALSE(fileExists(errorsTxtOf(drive)));
        const std::string exit = c.exit + sdlQuits;
        if (c.disc == nullptr) {
            EXPECT_EQ(drive.driveCalls(), exit);
        } else {
            EXPECT_EQ(endLike(drive.driveCalls(), exit), exit);
        }
    }
}

TEST(CdtracksOnAPlayingDrive, StopsAndClosesItBeforeSdlShutsDown)
{
    for (const char* status : {"playing", "paused"}) {
        SCOPED_TRACE(status);
        EmulatedDrive drive;
        drive.load(std::string("status ") + status + "\ntrack audio 150\nleadout 4650\n");
        const ProgramRun r = runOn(drive);
        EXPECT_EQ(r.out(), "4500\n");
        const std::string exit = "CDROMSUBCHNL\nCDROMSTOP\nclose\n" + sdlQuits;
        EXPECT_EQ(endLike(drive.calls(), exit), exit);
    }
}

TEST(CdtracksOnAnEmptyDrive, PrintNothingAndCloseItBeforeSdlShutsDown)
{
    const struct {
        const char* disc;
        const char* exit;   // the drive calls from the stop's status query on
    } cases[] = {
        {"empty\n", "CDROMSUBCHNL !ENOMEDIUM\nclose\n"},
        // Linux's sr driver answers the status query and fails the table.
        {"empty sr\n", "CDROMSUBCHNL\nCDROMREADTOCHDR !ENOMEDIUM\nclose\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.disc);
        EmulatedDrive drive;
        drive.load(c.disc);
        const ProgramRun r = runOn(drive);
        EXPECT_EQ(r.out(), "");
        EXPECT_EQ(r.exitCode(), 0) << r.describe();
        EXPECT_EQ(r.err(), "");
        const std::string exit = c.exit + sdlQuits;
        EXPECT_EQ(endLike(drive.driveCalls(), exit), exit);
    }
}

TEST_F(Cdtracks, LeavesAnEarlierLogUntouchedWhenNothingFails)
{
    drive.load(sampleDisc);
    writeFile(errorsTxt(), "Error  : from an earlier run\n");
    struct stat before {};
    stat(errorsTxt().c_str(), &before);
    const ProgramRun r = run();
    EXPECT_EQ(r.out(), sampleReport);
    EXPECT_EQ(readFile(errorsTxt()), "Error  : from an earlier run\n");
    struct stat after {};
    stat(errorsTxt().c_str(), &after);
    EXPECT_EQ(before.st_mtim.tv_nsec, after.st_mtim.tv_nsec);
    EXPECT_EQ(before.st_mtim.tv_sec, after.st_mtim.tv_sec);
}

TEST_F(Cdtracks, LogsAFailedCdromStartAndCarriesOn)
{
    REQUIRE_SDL_INTERPOSABLE();
    // The log's own failure to make its mutex must not replace SDL's reason.
    drive.load(sampleDisc + "sdl-fail SDL_InitSubSystem No CD-ROM support here\n"
                            "sdl-fail SDL_CreateMutex no mutex\n");
    writeFile(errorsTxt(), "Error  : a longer line from an earlier run, to be truncated\n");
    const ProgramRun r = run();
    EXPECT_EQ(r.out(), "");
    EXPECT_EQ(r.exitCode(), 0) << r.describe();
    EXPECT_EQ(r.err(), "");
    EXPECT_EQ(readFile(errorsTxt()),
        "Error  : SDL_InitSubSystem(SDL_INIT_CDROM): No CD-ROM support here\n");
    EXPECT_EQ(drive.driveCalls(), "SDL_Quit\nSDL_Quit\n");
}

TEST_F(Cdtracks, LogsAFailedSdlStartAndAborts)
{
    REQUIRE_SDL_INTERPOSABLE();
    drive.load(sampleDisc + "sdl-fail SDL_Init Out of memory for the core\n"
                            "sdl-fail SDL_CreateMutex no mutex\n");
    const ProgramRun r = run();
    EXPECT_EQ(r.signal(), SIGABRT) << r.describe();
    EXPECT_EQ(r.out(), "");
    EXPECT_EQ(readFile(errorsTxt()), "Error  : SDL_Init(): Out of memory for the core\n");
    // No drive call and no exit handler: not even SDL's shut-down runs.
    EXPECT_EQ(drive.calls(), "SDL_Init 0x0 !injected\n");
}

TEST_F(Cdtracks, ReportsAnUnwritableLogOnStandardError)
{
    REQUIRE_SDL_INTERPOSABLE();
    drive.load(sampleDisc + "sdl-fail SDL_InitSubSystem broken\n");
    // Dropped privileges (when run as root) must still reach the drive, the
    // program and the emulator: give them their own copies in reach.
    const std::string dir = drive.directory().path();
    const std::string binary = dir + "/cdtracks";
    const std::string emulator = std::filesystem::path(CDEMU_WITH_DISC).parent_path();
    std::filesystem::copy_file(CDTRACKS_BINARY, binary);
    for (const char* file : {"with-disc", "elf.sh", "libcdemu.so", "drive"}) {
        std::filesystem::copy(emulator + "/" + file, dir + "/" + file,
            std::filesystem::copy_options::copy_symlinks);
    }
    writeFile(dir + "/calls", "");
    chmod((dir + "/calls").c_str(), 0666);
    chmod(dir.c_str(), 0711);
    chmod(work().c_str(), 0555);

    ProgramRun::Options o = drive.runOptions({binary}, WayIn::Preload);
    o.argv[0] = dir + "/with-disc";
    o.cwd = work();
    o.unprivileged = true;
    const ProgramRun r(o);
    chmod(work().c_str(), 0755);

    EXPECT_EQ(r.err(), "LogManager::write: Permission denied\n");
    EXPECT_EQ(r.exitCode(), 0) << r.describe();
    EXPECT_EQ(r.out(), "");
    EXPECT_FALSE(fileExists(errorsTxt()));
    EXPECT_EQ(drive.driveCalls(), "SDL_Quit\nSDL_Quit\n");
}

TEST_F(Cdtracks, FailsWhenTheReportCannotBeWritten)
{
    drive.load(sampleDisc);
    const ProgramRun full = run({}, "/dev/full");
    EXPECT_EQ(full.exitCode(), 1);
    EXPECT_EQ(full.err(), "cdtracks: write error: No space left on device\n");
    // The drive is still stopped and closed on the way out.
    EXPECT_EQ(endLike(drive.driveCalls(), stoppedExit), stoppedExit);

    // With nothing to write, there is nothing to lose.
    drive.load("empty\n");
    const ProgramRun empty = run({}, "/dev/full");
    EXPECT_EQ(empty.exitCode(), 0);
    EXPECT_EQ(empty.err(), "");
}

// Random discs: every length printed is the difference of the described
// addresses, whatever the first track number, track types or drive state.
TEST(CdtracksOnRandomDiscs, PrintTheDifferencesOfTheirAddresses)
{
    std::mt19937 random(20261208);
    const char* const statuses[] = {"stopped", "completed", "invalid", "playing", "paused"};
    for (int disc = 0; disc < 250; ++disc) {
        const int tracks = std::uniform_int_distribution<>(1, 99)(random);
        // Any first number, as long as no track is numbered 170, the lead-out's.
        const int first = std::uniform_int_distribution<>(0, 169 - tracks)(random);
        const char* status = statuses[std::uniform_int_distribution<>(0, 4)(random)];
        std::ostringstream description, expected;
        description << "first " << first << "\nstatus " << status << "\n";
        long address = std::uniform_int_distribution<long>(150, 20000)(random);
        for (int t = 0; t < tracks; ++t) {
            const long length = std::uniform_int_distribution<long>(0, 4400)(random);
            const bool data = std::uniform_int_distribution<>(0, 4)(random) == 0;
            description << "track " << (data ? "data " : "audio ") << address << "\n";
            expected << length << "\n";
            address += length;
        }
        description << "leadout " << address << "\n";

        EmulatedDrive drive;
        drive.load(description.str());
        const ProgramRun r = runOn(drive);
        ASSERT_EQ(r.out(), expected.str()) << description.str();
        ASSERT_EQ(r.exitCode(), 0) << r.describe();
        const bool stops = std::string(status) == "playing" || std::string(status) == "paused";
        const std::string calls = drive.calls();
        ASSERT_EQ(endLike(calls, "close\n" + sdlQuits), "close\n" + sdlQuits) << status;
        ASSERT_EQ(calls.find("CDROMSTOP\nclose\n") != std::string::npos, stops) << status;
    }
}

} // namespace

namespace {

// Memcheck sees the whole process: our code, SDL, and the exit handlers.
TEST(CdtracksUnderValgrind, RunsCleanOnTheSampleDisc)
{
#if defined(CDTRACKS_SANITIZED)
    GTEST_SKIP() << "valgrind cannot run a sanitized binary; the plain build runs this";
#elif defined(CDTRACKS_STATIC)
    GTEST_SKIP() << "memcheck cannot replace the allocator of a fully static binary and "
                    "reports glibc's own start-up; the builds with a shared libc run this";
#else
    EmulatedDrive drive;
    drive.load(sampleDisc);
    REQUIRE_INSTALLED(onPath("valgrind"), "valgrind");
    const ProgramRun r(drive.runOptions({"valgrind", "-q", "--error-exitcode=1",
        "--leak-check=full", "--errors-for-leak-kinds=definite", CDTRACKS_BINARY}));
    EXPECT_EQ(r.exitCode(), 0) << r.describe();
    EXPECT_EQ(r.out(), sampleReport);
    EXPECT_EQ(r.err(), "");
#endif
}

} // namespace
