// The program's version, for the version blocks of both executables and for what the program
// says of itself. Plain #defines only, so that the resource compiler reads it too.
#ifndef QUORVANE_VERSION_H
#define QUORVANE_VERSION_H

#define QUORVANE_VERSION_MAJOR 1
#define QUORVANE_VERSION_MINOR 0
#define QUORVANE_VERSION_PATCH 7
#define QUORVANE_VERSION_TEXT "1.07"

#endif
