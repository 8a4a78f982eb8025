#include "cacheserver/core/cache_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

namespace {

long long StampOf(const struct stat& st)
{
    return static_cast<long long>(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
}

} // namespace

void CacheListFiles(const std::string& folder,
                    const std::function<bool(const std::string&, const CacheFileStamp&)>& visit)
{
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return;
    while (dirent* entry = readdir(dir)) {
        struct stat st;
        if (entry->d_name[0] == '.' || fstatat(dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode))
            continue;
        CacheFileStamp stamp;
        stamp.bytes = static_cast<long long>(st.st_size);
        stamp.stampMs = StampOf(st);
        if (!visit(entry->d_name, stamp))
            break;
    }
    closedir(dir);
}

bool CacheStampOf(const std::string& path, CacheFileStamp* stamp)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    stamp->bytes = static_cast<long long>(st.st_size);
    stamp->stampMs = StampOf(st);
    return true;
}

bool CacheSetStamp(const std::string& path, long long stampMs)
{
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(stampMs / 1000);
    times[1].tv_nsec = static_cast<long>(stampMs % 1000) * 1000000;
    return utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

long long CacheNowMs()
{
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}
