#include "res/build_stamp.h"

// Compiled again whenever any part of the program changes (see quorvane_build_stamp), so the
// stamp is the time of the build that made the executable. SOURCE_DATE_EPOCH, when set, fixes
// it for reproducible builds.
const char* BuildStampText() { return "Build Date: " __DATE__ "  Time: " __TIME__; }
