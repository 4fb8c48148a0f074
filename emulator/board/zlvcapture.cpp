// zlvcapture.cpp - captures the board output (first cut).
#include <stdio.h>

int main(int argc, char **argv)
{
    fprintf(stderr, "usage: zlvboard COMMAND\n");
    return 2;
}
