// Image file names on POSIX systems: the bytes are the path.
#include "targetlib/imagefile.h"

std::filesystem::path ImageFilePath(const char *fname)
{
    return std::filesystem::path(fname);
}
