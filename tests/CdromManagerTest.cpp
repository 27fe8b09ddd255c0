// CdromManager against the real SDL library and the emulated drive, linked
// into this program. The manager is one per process, so each case runs in a
// child process that writes down what it saw; the parent compares.

#include "cdrom/CdromManager.h"
#include "cdrom/SdlSystem.h"

#include <cstdlib>
#include <functional>
#include <sstream>

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "EmulatedDrive.h"
#include "cdemu.h"

namespace {

const std::string sampleDisc = readFile(CDTRACKS_SAMPLE_DISC);

std::string describe(const std::vector<CdTrack>& tracks)
{
    std::ostringstream text;
    text << tracks.size() << " tracks";
    for (const CdTrack& t : tracks) {
        text << " " << t.number << (t.isData ? "d" : "a") << ":" << t.lengthFrames << "="
             << t.minutes << ":" << t.seconds;
    }
    return text.str();
}

// What a case writes down about the manager, a line a step.
class Transcript {
public:
    explicit Transcript(EmulatedDrive& d) : drive(d) {}

    CdromManager& manager()
    {
        CdromManager& m = CdromManager::instance();
        text << "built: " << m.lastError() << "\n";
        return m;
    }

    void update(CdromManager& m)
    {
        const bool ok = m.update();
        text << "update: " << (ok ? "true" : "false") << ", " << m.lastError() << ", "
             << describe(m.tracks()) << "\n";
    }

    // Changes the disc in the drive, as a user would between two updates.
    void insert(const std::string& description)
    {
        drive.load(description);
        cdemu_reload();
    }

    std::ostringstream text;
    EmulatedDrive& drive;
};

// Runs a case in a child process on the drive; returns its transcript.
std::string inChild(EmulatedDrive& drive, const std::function<void(Transcript&)>& body)
{
    const std::string output = drive.directory().file("transcript");
    const auto environment = drive.environment();
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(drive.directory().path().c_str()) != 0) {
            _exit(3);
        }
        for (const auto& [name, value] : environment) {
            setenv(name.c_str(), value.c_str(), 1);
        }
        cdemu_reload();
        Transcript t(drive);
        body(t);
        writeFile(output, t.text.str());
        std::exit(0); // runs the exit handlers: the manager's teardown, SDL_Quit
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    return readFile(output);
}

int count(const std::string& text, const std::string& line)
{
    std::istringstream in(text);
    int n = 0;
    for (std::string l; std::getline(in, l);) {
        n += l == line;
    }
    return n;
}

const char* const sampleTracks =
    "12 tracks 1a:19298=4:17 2a:16988=3:46 3a:16596=3:41 4a:16983=3:46 5a:13500=3:0 "
    "6a:19322=4:17 7a:15283=3:23 8a:17065=3:47 9a:17667=3:55 10a:18647=4:8 11a:18419=4:5 "
    "12a:20138=4:28";

TEST(CdromManager, ReadsTheDiscAndClosesTheDriveAtExit)
{
    EmulatedDrive drive;
    drive.load(sampleDisc);
    const std::string t = inChild(drive, [](Transcript& t) {
        CdromManager& m = t.manager();
        t.update(m);
        t.text << "same manager: " << (&m == &CdromManager::instance()) << "\n";
    });
    EXPECT_EQ(t, std::string("built: no error.\nupdate: true, no error., ") + sampleTracks
            + "\nsame manager: 1\n");
    const std::string calls = drive.calls();
    EXPECT_EQ(calls.substr(calls.rfind("CDROMREADTOCENTRY 170\n")),
        "CDROMREADTOCENTRY 170\nCDROMSUBCHNL\nCDROMREADTOCHDR\nclose\n" + sdlQuits);
}

TEST(CdromManager, FindsADiscInsertedLaterWithoutReopeningTheDrive)
{
    EmulatedDrive drive;
    drive.load("empty\n");
    const std::string t = inChild(drive, [](Transcript& t) {
        CdromManager& m = t.manager();
        t.update(m);
        t.insert(sampleDisc);
        t.update(m);
    });
    EXPECT_EQ(t, std::string("built: no error.\n"
                             "update: false, not found CD-ROM., 0 tracks\n"
                             "update: true, not found CD-ROM., ")
            + sampleTracks + "\n");
    // One open to discover the drive, one to use it.
    EXPECT_EQ(count(drive.calls(), "open"), 2);
    EXPECT_EQ(count(drive.calls(), "close"), 2);
}

TEST(CdromManager, KeepsTheLastListWhenTheDiscGoesOrCannotBeRead)
{
    EmulatedDrive drive;
    drive.load("track data 150\ntrack audio 4650\nleadout 4724\n");
    const std::string t = inChild(drive, [](Transcript& t) {
        CdromManager& m = t.manager();
        t.update(m);
        t.insert("empty\n");
        t.update(m);
        t.insert("fail CDROMREADTOCENTRY EIO from 2\n"
                 "track audio 150\ntrack audio 900\ntrack audio 1800\nleadout 9000\n");
        t.update(m);
        t.insert("status error\ntrack audio 150\nleadout 9000\n");
        t.update(m);
        // Another disc replaces the list; it is not added to it.
        t.insert("track audio 150\nleadout 300\n");
        t.update(m);
    });
    const char* const kept = "2 tracks 1d:4500=1:0 2a:74=0:0";
    EXPECT_EQ(t, std::string("built: no error.\n")
            + "update: true, no error., " + kept + "\n"
            + "update: false, not found CD-ROM., " + kept + "\n"
            + "update: false, not found CD-ROM., " + kept + "\n"
            + "update: false, not found CD-ROM., " + kept + "\n"
            + "update: true, not found CD-ROM., 1 tracks 1a:150=0:2\n");
}

TEST(CdromManager, StartsSdlOnceWhateverNumberOfGuards)
{
    REQUIRE_SDL_INTERPOSABLE();
    EmulatedDrive drive;
    drive.load(sampleDisc);
    inChild(drive, [](Transcript& t) {
        t.manager();
        SdlCdromSystem another;
        SdlSystem yetAnother;
    });
    // SDL_Init(0) starts its (empty) set of subsystems through the same call.
    EXPECT_EQ(drive.sdlCalls(), "SDL_Init 0x0\nSDL_InitSubSystem 0x0\nSDL_InitSubSystem 0x100\n"
                                "SDL_Quit\nSDL_Quit\n");
}

TEST(CdromManager, WithoutADriveEveryUpdateAsksAgain)
{
    EmulatedDrive drive; // no disc loaded: the machine has no drive
    const std::string t = inChild(drive, [](Transcript& t) {
        CdromManager& m = t.manager();
        t.update(m);
        t.update(m);
    });
    EXPECT_EQ(t, "built: not found CD-ROM drive.\n"
                 "update: false, not found CD-ROM drive., 0 tracks\n"
                 "update: false, not found CD-ROM drive., 0 tracks\n");
    EXPECT_EQ(drive.driveCalls(), sdlQuits);
}

TEST(CdromManager, RetriesAFailedOpenOnUpdate)
{
    EmulatedDrive drive;
    // The first open is SDL's discovery probe; the second is the manager's.
    drive.load("fail open EBUSY from 2 for 2\ntrack audio 150\nleadout 4724\n");
    const std::string t = inChild(drive, [](Transcript& t) {
        CdromManager& m = t.manager();
        t.update(m);
        t.update(m);
    });
    // A failed open sets no text of SDL's own: the manager keeps what SDL has.
    EXPECT_EQ(t, "built: \n"
                 "update: false, , 0 tracks\n"
                 "update: true, , 1 tracks 1a:4574=1:0\n");
}

TEST(CdromManager, ReportsSdlsReasonWhenTheCdromSubsystemDidNotStart)
{
    REQUIRE_SDL_INTERPOSABLE();
    EmulatedDrive drive;
    drive.load(sampleDisc + "sdl-fail SDL_InitSubSystem no CD-ROM here\n");
    const std::string t = inChild(drive, [](Transcript& t) {
        CdromManager& m = t.manager();
        t.update(m);
    });
    EXPECT_EQ(t, "built: CD-ROM subsystem not initialized\n"
                 "update: false, CD-ROM subsystem not initialized, 0 tracks\n");
    EXPECT_EQ(readFile(drive.directory().file("errors.txt")),
        "Error  : SDL_InitSubSystem(SDL_INIT_CDROM): no CD-ROM here\n");
    EXPECT_EQ(drive.driveCalls(), sdlQuits);
}

TEST(CdromManager, ListsWhatSdlListsOfUnusualDiscs)
{
    std::string many;
    for (int i = 0; i < 120; ++i) {
        many += std::string(i % 10 == 0 ? "track data " : "track audio ")
            + std::to_string(150 + 750 * i) + "\n";
    }
    const struct {
        const char* what;
        std::string disc;
        std::string tracks;
    } cases[] = {
        {"no tracks", "header 1 0\nleadout 9000\n", "0 tracks"},
        {"first track 0", "first 0\ntrack audio 150\ntrack audio 300\nleadout 450\n",
            "2 tracks 0a:150=0:2 1a:150=0:2"},
        {"more than 99 tracks", many + "leadout 99:00:00\n", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EmulatedDrive drive;
        drive.load(c.disc);
        const std::string t = inChild(drive, [](Transcript& t) { t.update(t.manager()); });
        if (!c.tracks.empty()) {
            EXPECT_EQ(t, "built: no error.\nupdate: true, no error., " + c.tracks + "\n");
            continue;
        }
        // SDL keeps 99 tracks; the 99th runs to the lead-out.
        std::string expected = "99 tracks";
        for (int i = 0; i < 98; ++i) {
            expected += " " + std::to_string(i + 1) + (i % 10 == 0 ? "d" : "a") + ":750=0:10";
        }
        const int last = 99 * 4500 - (150 + 750 * 98);
        expected += " 99a:" + std::to_string(last) + "=" + std::to_string(last / 4500) + ":"
            + std::to_string(last / 75 % 60);
        EXPECT_EQ(t, "built: no error.\nupdate: true, no error., " + expected + "\n");
    }
}

} // namespace
