#include "windows/Application.h"

int main(int argc, char* argv[])
{
    return runBrenvo(argc, argv);
}
