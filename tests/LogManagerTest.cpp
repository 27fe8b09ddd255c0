#include "log/LogManager.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
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

TEST(LogManager, LinesFromSeveralThreadsNeverInterleave)
{
    constexpr int threads = 4;
    constexpr int lines = 2000;
    TempDir dir;
    runInChild(
        [](const TempDir&) {
            // A lock that is never released leaves the other threads waiting
            // for ever: end the child instead.
            alarm(30);
            LogManager& log = LogManager::instance();
            std::vector<std::thread> writers;
            for (int t = 0; t < threads; ++t) {
                writers.emplace_back([&log, t] {
                    for (int i = 0; i < lines; ++i) {
                        log.write(("thread " + std::to_string(t) + " line " + std::to_string(i)).c_str());
                    }
                });
            }
            for (std::thread& w : writers) {
                w.join();
            }
        },
        dir);
    std::vector<std::string> expected;
    for (int t = 0; t < threads; ++t) {
        for (int i = 0; i < lines; ++i) {
            expected.push_back("Error  : thread " + std::to_string(t) + " line " + std::to_string(i));
        }
    }
    std::vector<std::string> written;
    std::istringstream in(readFile(dir.file("errors.txt")));
    for (std::string line; std::getline(in, line);) {
        written.push_back(line);
    }
    std::sort(expected.begin(), expected.end());
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written.size(), expected.size());
    EXPECT_TRUE(written == expected) << "lines are missing, doubled or run together";
}
