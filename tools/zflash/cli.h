// The whole of zflash behind its command line: parses the arguments, runs
// the command and returns the exit code.
#pragma once

int ZflashMain(int argc, char **argv);
