// Checks the cache folder's entries against their metadata once a launch,
// on a thread of its own, so that the first load of a run finds them
// checked (the program shows its login window first). Entries a request
// reaches first are checked by their hit. Only matches are noted: a body
// that differs is left to its hit, which fetches it again.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>

class CCacheEntries;

class CEntryChecker {
public:
    // folder ends in a separator.
    CEntryChecker(std::string folder, std::shared_ptr<CCacheEntries> entries);
    ~CEntryChecker();
    CEntryChecker(const CEntryChecker&) = delete;
    CEntryChecker& operator=(const CEntryChecker&) = delete;

    bool Start();
    // Ends the check where it is and waits for its thread.
    void Stop();

private:
    void Run();

    const std::string m_folder;
    const std::shared_ptr<CCacheEntries> m_entries;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
