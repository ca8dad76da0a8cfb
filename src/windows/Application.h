#pragma once

#include <functional>
#include <memory>

class QObject;

// Builds an object that lives as long as the program, made once it knows it
// is the only running copy (the road-test build's driver).
using TestHook = std::function<std::unique_ptr<QObject>()>;

// The program from start to end: one running copy, the login, the desk and
// its windows, the quit; its exit code.
int runBrenvo(int argc, char* argv[], const TestHook& testHook = {});
