// The command line as UTF-8 text, whatever the platform hands over: on
// Windows the arguments are read as UTF-16 and converted (the ANSI code page
// cannot hold every file name), elsewhere they are taken as they are.
#pragma once

#include <string>
#include <vector>

std::vector<std::string> Utf8Arguments(int argc, char **argv);
