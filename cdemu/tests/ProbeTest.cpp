// The emulated drive held to the kernel's answers, and the probe's
// description of a disc. Each NAME.probe beside a disc of tests/discs is
// what cdemu-probe printed on the kernel's device in make check-vm: the
// emulated drive must answer every field the same, both ways in. And
// cdemu-probe --describe must give a disc back as its own description, or
// name the call that failed and write nothing.

#include <algorithm>
#include <filesystem>
#include <sstream>

#include <sys/utsname.h>

#include <gtest/gtest.h>

#include "EmulatedDrive.h"
#include "ProgramRun.h"

namespace {

// The files of tests/discs and its folders whose names end so, in order.
std::vector<std::string> suiteFiles(const std::string& extension)
{
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(CDTRACKS_DISCS)) {
        if (entry.is_regular_file() && entry.path().extension() == extension) {
            files.push_back(entry.path().string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string withoutComments(const std::string& text)
{
    std::istringstream in(text);
    std::string kept;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind('#', 0) != 0) {
            kept += line + "\n";
        }
    }
    return kept;
}

ProgramRun probe(const std::string& description, std::vector<std::string> args, WayIn way)
{
    EmulatedDrive drive;
    drive.load(description);
    args.insert(args.begin(), CDEMU_PROBE);
    args.push_back(drive.device());
    return ProgramRun(drive.runOptions(args, way, ""));
}

ProgramRun normalise(const std::string& description)
{
    TempDir dir;
    writeFile(dir.file("disc"), description);
    ProgramRun::Options o;
    o.argv = {CDEMU_PROBE, "--normalise", dir.file("disc")};
    return ProgramRun(o);
}

// Whether --describe must give a disc back whole: a fail or header
// statement, or an empty tray's own errno, makes the drive fail, or shows
// --describe only part of the disc.
bool givesItselfBack(const std::string& normalised)
{
    std::istringstream in(normalised);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("fail ", 0) == 0 || line.rfind("header ", 0) == 0
            || (line.rfind("empty ", 0) == 0 && line != "empty sr")) {
            return false;
        }
    }
    return true;
}

std::string failure(const std::string& what)
{
    return std::string("cdemu-probe: ") + CDEMU_DEVICE_LINK + ": " + what
        + "; no description written\n";
}

std::string nameOf(const testing::TestParamInfo<WayIn>& info)
{
    return info.param == WayIn::Tracer ? "Traced" : "Preloaded";
}

} // namespace

// Each test both ways in: the tracer's cases are skipped, saying why, where
// it is not built.
class ProbeWay : public testing::TestWithParam<WayIn> {
protected:
    void SetUp() override
    {
        if (GetParam() == WayIn::Tracer) {
            REQUIRE_TRACER();
        }
    }
};

// Every record in tests/discs and its folders: a disc added there is held
// once check-vm has recorded it. The suite's own discs all have one.
class ProbeRecords : public ProbeWay {};

TEST_P(ProbeRecords, EmulatedDriveAnswersAsTheKernelDid)
{
    const std::vector<std::string> records = suiteFiles(".probe");
    ASSERT_GE(records.size(), 9u);
    for (const std::string& record : records) {
        const std::string disc = record.substr(0, record.size() - 6) + ".disc";
        ASSERT_TRUE(fileExists(disc)) << record << " is no disc's record";
        SCOPED_TRACE(record);
        const ProgramRun r = probe(readFile(disc), {}, GetParam());
        EXPECT_EQ(r.out(), withoutComments(readFile(record)));
        EXPECT_EQ(r.err(), "");
        EXPECT_EQ(r.exitCode(), 0) << r.describe();
    }
}

INSTANTIATE_TEST_SUITE_P(BothWaysIn, ProbeRecords,
    testing::Values(WayIn::Preload, WayIn::Tracer), nameOf);

class Describe : public ProbeWay {};

// The round trip, without the kernel: each disc of the suite that the drive
// serves whole, described through the emulated drive, reads back as itself.
TEST_P(Describe, GivesBackEveryDiscOfTheSuite)
{
    size_t tried = 0;
    for (const std::string& disc : suiteFiles(".disc")) {
        const ProgramRun want = normalise(readFile(disc));
        ASSERT_EQ(want.exitCode(), 0) << want.describe();
        if (!givesItselfBack(want.out())) {
            continue;
        }
        ++tried;
        SCOPED_TRACE(disc);
        const ProgramRun r = probe(readFile(disc), {"--describe"}, GetParam());
        EXPECT_EQ(r.exitCode(), 0) << r.describe();
        EXPECT_EQ(r.err(), "");
        EXPECT_EQ(normalise(r.out()).out(), want.out());
    }
    EXPECT_GE(tried, 8u);
}

// What it writes: the drive (none known for the emulated one) and kernel in
// a comment, then the disc as SDL's calls see it: a header's tracks alone,
// a status as the drive gives it, calls it does not make left out.
TEST_P(Describe, WritesWhatSdlsCallsSee)
{
    utsname u{};
    ASSERT_EQ(uname(&u), 0);
    const std::string origin = std::string("# The disc in ") + CDEMU_DEVICE_LINK
        + ", as cdemu-probe --describe read it.\n# Drive: unknown. Kernel: Linux " + u.release
        + ".\n";
    const std::string three = "track audio 150\ntrack data 1000\ntrack audio 2000\nleadout 3000\n";
    const struct {
        std::string description, written;
    } cases[] = {
        {three, "first 1\ntrack audio 0:02:00\ntrack data 0:13:25\ntrack audio 0:26:50\n"
                "leadout 0:40:00\nstatus stopped\n"},
        {"status playing\nfirst 0\n" + three, "first 0\ntrack audio 0:02:00\ntrack data 0:13:25\n"
                "track audio 0:26:50\nleadout 0:40:00\nstatus playing\n"},
        {"header 2 3\nstatus error\n" + three,
            "first 2\ntrack data 0:13:25\ntrack audio 0:26:50\nleadout 0:40:00\nstatus error\n"},
        {"first 5\nleadout 99:59:74\nstatus invalid\n", "first 5\nleadout 99:59:74\nstatus invalid\n"},
        {three + "fail CDROMSTOP EIO\nfail CDROMREADTOCENTRY EIO from 5\nsdl-fail SDL_Init no\n",
            "first 1\ntrack audio 0:02:00\ntrack data 0:13:25\ntrack audio 0:26:50\n"
            "leadout 0:40:00\nstatus stopped\n"},
        {"empty\n" + three, "empty\n"},
        {"empty sr\n", "empty sr\nstatus invalid\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        const ProgramRun r = probe(c.description, {"--describe"}, GetParam());
        EXPECT_EQ(r.out(), origin + c.written);
        EXPECT_EQ(r.err(), "");
        EXPECT_EQ(r.exitCode(), 0) << r.describe();
    }
}

// A drive that fails: the call and the reason on standard error, status 1,
// and not a line on standard output.
TEST_P(Describe, NamesTheFailedCallAndWritesNothing)
{
    const std::string sample = readFile(CDTRACKS_SAMPLE_DISC);
    const struct {
        std::string description, error;
    } cases[] = {
        {readFile(std::string(CDTRACKS_DISCS) + "/toc-read-failure.disc"),
            failure("CDROMREADTOCHDR failed: Input/output error (EIO)")},
        {sample + "fail open EACCES\n", failure("open failed: Permission denied (EACCES)")},
        {sample + "fail CDROMSUBCHNL EIO\n", failure("CDROMSUBCHNL failed: Input/output error (EIO)")},
        {"empty EINVAL\n", failure("CDROMSUBCHNL failed: Invalid argument (EINVAL)")},
        {sample + "fail CDROMREADTOCENTRY ENOMEDIUM from 5 for 1\n",
            failure("CDROMREADTOCENTRY of track 5 failed: No medium found (ENOMEDIUM)")},
        {sample + "fail CDROMREADTOCENTRY EIO from 13\n",
            failure("CDROMREADTOCENTRY of the lead-out failed: Input/output error (EIO)")},
        {"header 1 3\ntrack audio 150\nleadout 900\n",
            failure("CDROMREADTOCENTRY of track 2 failed: Input/output error (EIO)")},
        {"header 3 1\n" + sample, std::string("cdemu-probe: ") + CDEMU_DEVICE_LINK
                + ": CDROMREADTOCHDR says tracks 3 to 1; no description written\n"},
        {"first 0\nheader 0 255\n" + sample, std::string("cdemu-probe: ") + CDEMU_DEVICE_LINK
                + ": CDROMREADTOCHDR says tracks 0 to 255; no description written\n"},
        // Tracks 168 and 169, and 170, which no description may number.
        {"first 168\nheader 168 170\ntrack audio 150\ntrack audio 300\nleadout 900\n",
            std::string("cdemu-probe: ") + CDEMU_DEVICE_LINK
                + ": the drive's answers make no description (line 8: track numbers from 168 "
                  "reach 170, the lead-out's); none written\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        const ProgramRun r = probe(c.description, {"--describe"}, GetParam());
        EXPECT_EQ(r.err(), c.error);
        EXPECT_EQ(r.out(), "");
        EXPECT_EQ(r.exitCode(), 1) << r.describe();
    }
}

INSTANTIATE_TEST_SUITE_P(BothWaysIn, Describe, testing::Values(WayIn::Preload, WayIn::Tracer), nameOf);

// A description it cannot write whole (a full disk) is a failure too.
TEST(DescribeOnAFullDisk, SaysTheWriteFailed)
{
    const std::string sample = readFile(CDTRACKS_SAMPLE_DISC);
    EmulatedDrive drive;
    drive.load(sample);
    ProgramRun::Options full =
        drive.runOptions({CDEMU_PROBE, "--describe", drive.device()}, WayIn::Preload, "");
    full.stdoutPath = "/dev/full";
    const ProgramRun r(full);
    EXPECT_EQ(r.err(), "cdemu-probe: write error: No space left on device\n");
    EXPECT_EQ(r.exitCode(), 1) << r.describe();
}
