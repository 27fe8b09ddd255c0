// cdtracks and Debian's cd-discid read the same emulated drive through the
// same kernel interface; the lengths cdtracks prints must equal the
// differences of the offsets cd-discid reports, frame for frame.

#include <random>
#include <sstream>

#include <gtest/gtest.h>

#include "EmulatedDrive.h"
#include "ProgramRun.h"
#include "RequireInstalled.h"

namespace {

// cd-discid loads the emulator; cdtracks is reached its own way.
ProgramRun runDiscid(const EmulatedDrive& drive, std::vector<std::string> argv)
{
    return ProgramRun(drive.runOptions(std::move(argv), WayIn::Chosen, ""));
}

// "N offset1 ... offsetN leadout" -> one length a line, as cdtracks prints.
std::string lengthsFromDiscid(const std::string& line)
{
    std::istringstream in(line);
    long count = 0;
    in >> count;
    std::vector<long> offsets(static_cast<std::size_t>(count) + 1);
    for (long& offset : offsets) {
        in >> offset;
    }
    std::string lengths;
    for (std::size_t i = 0; i + 1 < offsets.size(); ++i) {
        lengths += std::to_string(offsets[i + 1] - offsets[i]) + "\n";
    }
    return in ? lengths : "unreadable: " + line;
}

class AgainstCdDiscid : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_INSTALLED(onPath("cd-discid"), "cd-discid");
    }

    // Both programs on one disc; cd-discid numbers tracks from 1.
    void expectAgreement(const std::string& description)
    {
        EmulatedDrive drive;
        drive.load(description);
        const ProgramRun peer = runDiscid(drive, {"cd-discid", "--musicbrainz", drive.device()});
        ASSERT_EQ(peer.exitCode(), 0) << peer.describe();
        const ProgramRun ours = ProgramRun(drive.runOptions({CDTRACKS_BINARY}));
        ASSERT_EQ(ours.exitCode(), 0) << ours.describe();
        ASSERT_FALSE(ours.out().empty()) << description;
        EXPECT_EQ(ours.out(), lengthsFromDiscid(peer.out())) << description;
    }
};

TEST_F(AgainstCdDiscid, AgreesOnFixedDiscs)
{
    for (const char* disc : {"sample", "mixed-mode", "enhanced-cd", "99-tracks"}) {
        expectAgreement(readFile(std::string(CDTRACKS_DISCS) + "/" + disc + ".disc"));
    }
    expectAgreement("status playing\ntrack audio 0:02:00\nleadout 0:02:01\n");
}

TEST_F(AgainstCdDiscid, AgreesOnRandomDiscs)
{
    std::mt19937 random(75);
    for (int disc = 0; disc < 60; ++disc) {
        const int tracks = std::uniform_int_distribution<>(1, 99)(random);
        std::ostringstream description;
        long address = std::uniform_int_distribution<long>(150, 30000)(random);
        for (int t = 0; t < tracks; ++t) {
            const bool data = std::uniform_int_distribution<>(0, 5)(random) == 0;
            description << "track " << (data ? "data " : "audio ") << address << "\n";
            address += std::uniform_int_distribution<long>(1, 4400)(random);
        }
        description << "leadout " << address << "\n";
        expectAgreement(description.str());
        if (HasFatalFailure() || HasNonfatalFailure()) {
            return;
        }
    }
}

} // namespace
