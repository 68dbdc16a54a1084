// zdemodata OUTDIR: writes the demo image tree into OUTDIR.
#include <cstdio>
#include <string>

#include "tools/demodata/demotree.h"

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: zdemodata OUTDIR\n");
        return 2;
    }
    std::string error;
    if (!WriteDemoTree(argv[1], error)) {
        std::fprintf(stderr, "zdemodata: cannot write %s\n", error.c_str());
        return 1;
    }
    return 0;
}
