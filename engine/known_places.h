#pragma once

#include <string>

// The places of the running system that the rule table is written against: UTF-8 paths
// without a trailing backslash, "" where the place could not be told. A plain struct, so that
// the rules can be tested and measured with fixed places anywhere.
struct KnownPlaces {
    std::string windows, system, programFiles, programFilesX86, programData, profiles;
    std::string userProfile;  // this user's profile, to make per-user places relative
    std::string userTemp, userStartMenu, userDesktop, userStartup;  // this user's
    std::string commonStartMenu, commonDesktop, commonStartup;     // all users'
    std::string userAppData, userLocalAppData;                      // this user's
};

// The places as the system reports them to this process, for this user.
KnownPlaces ResolveKnownPlaces();
