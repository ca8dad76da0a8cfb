#include "TestDriver.h"
#include "windows/Application.h"

// The program as a user runs it, with a driver a road-test script talks to.
int main(int argc, char* argv[])
{
    return runBrenvo(argc, argv, [] {
        return std::make_unique<TestDriver>(qEnvironmentVariable("BRENVO_TEST_DRIVER"));
    });
}
