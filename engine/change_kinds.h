#pragma once

#include "engine/change_journal.h"

// What each kind of change is and how every output words it: one row a kind, in the order of
// JournalKind, which every user of these facts walks.
struct ChangeKind {
    JournalKind kind;
    const char* change;     // the change set's "change": "added", "changed", "newFolder", ...
    const char* item;       // the change set's "item": "key", "value", "entry", "file", ...
    const char* highlight;  // the highlights' word: "added", "new folder", ...
    const char* described;  // the undo files' comments: "added key", "new folder", ...
    bool value;             // a registry value, which has a name
    bool registry;          // a registry key, value or entry; else a file or folder
    bool renamed;           // spelled anew in letter case only: nothing to undo or redo
};

const ChangeKind& KindOf(JournalKind kind);
