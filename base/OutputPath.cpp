#include "base/OutputPath.h"

#include <cerrno>
#include <sys/stat.h>

bool IsReplaceableOutput(const char* path)
{
    struct stat st;
    if (!path || stat(path, &st) != 0)
        return path && errno == ENOENT; // nothing there yet, or a broken link
    return S_ISREG(st.st_mode);
}
