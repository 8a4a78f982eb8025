#include "base/core/platform_fs.h"

#include <direct.h>
#include <io.h>
#include <windows.h>

bool FsExists(const char* path)
{
    return _access(path, 0) == 0;
}

int FsMakeDir(const char* path)
{
    return _mkdir(path) == 0 ? 0 : -1;
}

bool FsReplaceFile(const char* from, const char* to)
{
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != FALSE;
}
