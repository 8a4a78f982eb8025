#include "base/core/platform_fs.h"

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

bool FsExists(const char* path)
{
    // The empty prefix of an absolute POSIX path is the root folder.
    return path[0] == '\0' || access(path, F_OK) == 0;
}

int FsMakeDir(const char* path)
{
    return mkdir(path, 0777) == 0 ? 0 : -1;
}

bool FsReplaceFile(const char* from, const char* to)
{
    return std::rename(from, to) == 0;
}
