// The emulated drive held to the kernel's answers. Each NAME.probe beside a
// disc of tests/discs is what cdemu-probe printed on the kernel's device in
// make check-vm: the emulated drive must answer every field the same, both
// ways in.

#include <algorithm>
#include <filesystem>
#include <sstream>

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

std::vector<WayIn> waysIn()
{
    if (tracerBuilt) {
        return {WayIn::Preload, WayIn::Tracer};
    }
    return {WayIn::Preload};
}

const char* nameOf(WayIn way)
{
    return way == WayIn::Tracer ? "cdemu-run" : "libcdemu.so";
}

ProgramRun probe(const std::string& description, std::vector<std::string> args, WayIn way)
{
    EmulatedDrive drive;
    drive.load(description);
    args.insert(args.begin(), CDEMU_PROBE);
    args.push_back(drive.device());
    return ProgramRun(drive.runOptions(args, way, ""));
}

} // namespace

// Every record in tests/discs and its folders: a disc added there is held
// once check-vm has recorded it. The suite's own discs all have one.
TEST(ProbeRecords, EmulatedDriveAnswersAsTheKernelDid)
{
    const std::vector<std::string> records = suiteFiles(".probe");
    ASSERT_GE(records.size(), 9u);
    for (const std::string& record : records) {
        const std::string disc = record.substr(0, record.size() - 6) + ".disc";
        ASSERT_TRUE(fileExists(disc)) << record << " is no disc's record";
        for (const WayIn way : waysIn()) {
            SCOPED_TRACE(record + " through " + nameOf(way));
            const ProgramRun r = probe(readFile(disc), {}, way);
            EXPECT_EQ(r.out(), withoutComments(readFile(record)));
            EXPECT_EQ(r.err(), "");
            EXPECT_EQ(r.exitCode(), 0) << r.describe();
        }
    }
}
