#pragma once

// "Build Date: Mmm dd yyyy  Time: hh:mm:ss": when the executable was built. Each executable
// compiles res/build_stamp.cpp itself (see quorvane_build_stamp in the top CMakeLists.txt).
const char* BuildStampText();
