// What the cache budget needs from the platform: a listing of the cache
// folder with each file's size and time stamp, and a way to move a file's
// stamp. The stamp is the file's modification time, in milliseconds since
// 1970; the budget uses it as the file's last use, since last-access times
// are not kept by every system.
#pragma once

#include <functional>
#include <string>

struct CacheFileStamp {
    long long bytes = 0;
    long long stampMs = 0;
};

// Calls visit with each regular file of the folder; visit returns false to
// end the listing early.
void CacheListFiles(const std::string& folder,
                    const std::function<bool(const std::string& name, const CacheFileStamp& stamp)>& visit);
// False when the file is not there (or is no regular file).
bool CacheStampOf(const std::string& path, CacheFileStamp* stamp);
// Sets the file's modification time; its bytes are not touched.
bool CacheSetStamp(const std::string& path, long long stampMs);
// The wall clock in the stamps' units.
long long CacheNowMs();
