// Image file names on Windows: UTF-8 text goes through a wide path, since the
// narrow file functions take the ANSI code page; a name that is not UTF-8
// (an ANSI path from the system) is taken as it is.
#include <exception>

#include "targetlib/imagefile.h"

std::filesystem::path ImageFilePath(const char *fname)
{
    try {
        return std::filesystem::u8path(fname);
    } catch (const std::exception &) {
        return std::filesystem::path(fname);
    }
}
