#include "app/main_dialog.h"

// Compiled again whenever any part of the program changes (see app/CMakeLists.txt), so the
// stamp is the time of the build that made the executable. SOURCE_DATE_EPOCH, when set, fixes
// it for reproducible builds.
const char* BuildStampText() { return "Build Date: " __DATE__ "  Time: " __TIME__; }
