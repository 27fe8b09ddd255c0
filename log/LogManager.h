#ifndef CDTRACKS_LOG_LOGMANAGER_H
#define CDTRACKS_LOG_LOGMANAGER_H

class LogManagerImpl;

// The process-wide error log, "errors.txt" in the current directory.
// The file is created (and truncated) by the first line a process writes, so
// a run that logs nothing leaves any earlier log untouched. The instance and
// its record live until the process ends and are never destroyed.
class LogManager {
public:
    static LogManager& instance();

    // Writes "Error  : <message>" and a line feed unless the message already
    // ends in one, then flushes. A file that cannot be opened is reported on
    // standard error and the message dropped; the next call tries again.
    void write(const char* message);

    LogManager(const LogManager&) = delete;
    LogManager& operator=(const LogManager&) = delete;

private:
    LogManager();

    LogManagerImpl* impl;
};

#endif
