#include <iostream>

#include "upkit_cli.h"

int main(int argc, char** argv)
{
    return run_upkit(argc, argv, std::cout, std::cerr);
}
