#include "log/LogManager.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "TempDir.h"

// LogManager is one per process and opens its file once, so each case runs
// in a child process of its own (a death test that exits normally), in a
// directory of its own.
namespace {

void runInChild(void (*body)(const TempDir&), const TempDir& dir)
{
    EXPECT_EXIT(
        {
            if (chdir(dir.path().c_str()) != 0) {
                std::_Exit(2);
            }
            body(dir);
            std::fflush(nullptr);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

// Whether a thread of this process is asleep (waiting on a lock or in a
// blocking call), from its state in /proc.
bool asleep(pid_t tid)
{
    if (tid == 0) {
        return false;
    }
    const std::string stat = readFile("/proc/self/task/" + std::to_string(tid) + "/stat");
    const std::size_t end = stat.rfind(')');
    return end != std::string::npos && end + 2 < stat.size() && stat[end + 2] == 'S';
}

// How many of this process's descriptors, READER aside, are open on PATH.
int openedForWriting(const std::filesystem::path& path, int reader)
{
    int count = 0;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (fd.path().filename() != std::to_string(reader)
            && std::filesystem::read_symlink(fd.path(), error) == path) {
            ++count;
        }
    }
    return count;
}

} // namespace

TEST(LogManager, FirstLineTruncatesLaterLinesAppendOneLineFeedEach)
{
    TempDir dir;
    writeFile(dir.file("errors.txt"), "a line left by an earlier run\n");
    runInChild(
        [](const TempDir&) {
            LogManager::instance().write("x");
            LogManager::instance().write("already ends in a line feed\n");
            LogManager::instance().write("");
            LogManager::instance().write("two\nlines");
        },
        dir);
    EXPECT_EQ(readFile(dir.file("errors.txt")),
        "Error  : x\n"
        "Error  : already ends in a line feed\n"
        "Error  : \n"
        "Error  : two\nlines\n");
}

TEST(LogManager, NoWriteMeansNoFile)
{
    TempDir dir;
    runInChild([](const TempDir&) { (void)LogManager::instance(); }, dir);
    EXPECT_FALSE(fileExists(dir.file("errors.txt")));
}

TEST(LogManager, UnopenableFileIsReportedAndRetriedOnTheNextWrite)
{
    TempDir dir;
    runInChild(
        [](const TempDir& d) {
            // A directory in the log's place cannot be opened for writing,
            // not even by root.
            std::filesystem::create_directory(d.file("errors.txt"));
            const int err = open(d.file("stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(err, 2);
            LogManager::instance().write("lost");
            LogManager::instance().write("lost too");
            std::filesystem::remove(d.file("errors.txt"));
            LogManager::instance().write("kept");
        },
        dir);
    EXPECT_EQ(readFile(dir.file("stderr.txt")),
        "LogManager::write: Is a directory\n"
        "LogManager::write: Is a directory\n");
    EXPECT_EQ(readFile(dir.file("errors.txt")), "Error  : kept\n");
}

// The log opens its file on the first write; writers starting together on a
// log not yet open must open it once and share it. The log is a FIFO with no
// reader yet, so the first open blocks: only once every writer is asleep,
// either behind the lock or in that open, does a reader come. Without the
// lock every writer is past the "not open yet" check by then and opens a
// file of its own, every time.
TEST(LogManager, WritersStartingTogetherOpenTheFileOnceAndNeverInterleave)
{
    constexpr int threads = 4;
    constexpr int lines = 2000;
    TempDir dir;
    runInChild(
        [](const TempDir& d) {
            // A lock that is never released leaves the other threads waiting
            // for ever: end the child instead.
            alarm(30);
            if (mkfifo("errors.txt", 0600) != 0) {
                std::_Exit(3);
            }
            std::vector<std::vector<std::string>> messages(threads);
            for (int t = 0; t < threads; ++t) {
                for (int i = 0; i < lines; ++i) {
                    messages[t].push_back("thread " + std::to_string(t) + " line " + std::to_string(i));
                }
            }
            LogManager& log = LogManager::instance();
            std::atomic<pid_t> tids[threads] = {};
            std::atomic<int> finished{0};
            std::vector<std::thread> writers;
            for (int t = 0; t < threads; ++t) {
                writers.emplace_back([&, t] {
                    tids[t] = static_cast<pid_t>(syscall(SYS_gettid));
                    for (const std::string& m : messages[t]) {
                        log.write(m.c_str());
                    }
                    ++finished;
                });
            }
            for (auto& tid : tids) {
                while (!asleep(tid)) {
                    usleep(1000);
                }
            }
            const int reader = open("errors.txt", O_RDONLY | O_NONBLOCK);
            if (reader < 0) {
                std::_Exit(4);
            }
            std::string written;
            for (bool last = false;;) {
                char buffer[4096];
                const ssize_t n = read(reader, buffer, sizeof buffer);
                if (n > 0) {
                    written.append(buffer, static_cast<std::size_t>(n));
                } else if (last) {
                    break;
                } else {
                    last = finished == threads;
                    pollfd in = {reader, POLLIN, 0};
                    poll(&in, 1, 10);
                }
            }
            for (std::thread& w : writers) {
                w.join();
            }
            writeFile(d.file("written.txt"), written);
            const int opened = openedForWriting(std::filesystem::canonical("errors.txt"), reader);
            writeFile(d.file("opened.txt"), std::to_string(opened));
        },
        dir);
    EXPECT_EQ(readFile(dir.file("opened.txt")), "1") << "the writers opened the log more than once";
    std::vector<std::string> expected;
    for (int t = 0; t < threads; ++t) {
        for (int i = 0; i < lines; ++i) {
            expected.push_back("Error  : thread " + std::to_string(t) + " line " + std::to_string(i));
        }
    }
    std::vector<std::string> written;
    std::istringstream in(readFile(dir.file("written.txt")));
    for (std::string line; std::getline(in, line);) {
        written.push_back(line);
    }
    std::sort(expected.begin(), expected.end());
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written.size(), expected.size());
    EXPECT_TRUE(written == expected) << "lines are missing, doubled or run together";
}
