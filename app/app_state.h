#pragma once

#include <windows.h>

#include <cstdint>

// The program is one dialog on one thread; this is all the state it keeps, for the life of
// the process.

struct ScanCounters {
    std::uint32_t scanned = 0;          // items visited in the current pass
    std::uint32_t fileChanges = 0;      // new files found by Step #2
    std::uint32_t registryEntries = 0;  // registry lines saved by Step #1 or found new by Step #2
    std::uint32_t baselineLines = 0;    // line feeds in the baseline of the current pass
};

struct AppState {
    HWND dialog = nullptr;
    HWND statusLine = nullptr;
    HWND changesLine = nullptr;
    HWND progressBar = nullptr;

    int busy = 0;   // a scan session runs
    int abort = 0;  // set by Close/Abort, cleared by each step command

    int systemMenuExtended = 0;

    ScanCounters counters;
    DWORD lastProgressTick = 0;  // never reset: each step goes on from the last update
    DWORD lastChangesTick = 0;
    DWORD lastPumpTick = 0;
};

extern AppState g_app;
