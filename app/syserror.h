// The system's own words for a Windows error code (Windows only).
#pragma once

#include <string>

// "The system cannot find the path specified. (Windows error 3)": the
// message the system has for `code` in the user's language, followed by the
// number for support; the number alone when the system has no words for it.
std::string SystemErrorText(unsigned long code);
