// Takes the installer's single-instance guard the way the entry does, prints "held" and
// keeps it until its standard input closes; a second copy exits with the entry's code for
// a second instance.

#include <cstdio>
#include <iostream>
#include <string>

#include "support/single_instance.h"

int main() {
    Utils::SingleInstance guard(Utils::kInstallerInstanceName);
    guard.Acquire();
    if (!guard.Held()) return Utils::kExitSecondInstance;
    std::printf("held\n");
    std::fflush(stdout);
    std::string ignored;
    while (std::getline(std::cin, ignored)) {
    }
    guard.Release();
    return Utils::kExitWindowRan;
}
