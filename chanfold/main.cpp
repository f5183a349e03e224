#include "Chanfold.h"

#include <cstdio>

int main(int argc, char *argv[])
{
    runChanfold(argc, argv, stdout);
    // Always 0: the caller judges the run by the target file, not by the status.
    return 0;
}
