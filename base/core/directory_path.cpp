#include "base/core/directory_path.h"

#include "base/core/platform_fs.h"

#include <string>

int MakeDirectoryPath(const char* path)
{
    if (!path)
        return 0;
    std::string copy(path);
    for (size_t i = 0; i < copy.size(); ++i) {
        if (copy[i] != '\\' && copy[i] != '/')
            continue;
        copy[i] = '\0';
        const char* prefix = copy.c_str();
        if (!FsExists(prefix) && FsMakeDir(prefix) != 0)
            return -1;
        copy[i] = '/';
    }
    return FsMakeDir(copy.c_str());
}
