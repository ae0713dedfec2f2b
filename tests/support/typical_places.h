#pragma once

#include "engine/known_places.h"

// The places of a typical Windows machine with one user, alice: for the rule table's tests and
// benchmark, which must not depend on the machine they run on.
inline KnownPlaces TypicalPlaces() {
    KnownPlaces p;
    p.windows = R"(C:\Windows)";
    p.system = R"(C:\Windows\System32)";
    p.programFiles = R"(C:\Program Files)";
    p.programFilesX86 = R"(C:\Program Files (x86))";
    p.programData = R"(C:\ProgramData)";
    p.profiles = R"(C:\Users)";
    p.userProfile = R"(C:\Users\alice)";
    p.userTemp = R"(C:\Users\alice\AppData\Local\Temp)";
    p.userAppData = R"(C:\Users\alice\AppData\Roaming)";
    p.userLocalAppData = R"(C:\Users\alice\AppData\Local)";
    p.userStartMenu = R"(C:\Users\alice\AppData\Roaming\Microsoft\Windows\Start Menu)";
    p.userStartup = p.userStartMenu + R"(\Programs\Startup)";
    p.userDesktop = R"(C:\Users\alice\Desktop)";
    p.commonStartMenu = R"(C:\ProgramData\Microsoft\Windows\Start Menu)";
    p.commonStartup = p.commonStartMenu + R"(\Programs\StartUp)";
    p.commonDesktop = R"(C:\Users\Public\Desktop)";
    return p;
}
