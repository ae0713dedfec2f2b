#pragma once

#include <string>
#include <string_view>

// The files that give a run's change back, made from its journal (change_journal.h) once every
// pass is done: "Quorvane_Redo.reg" (the registry change as it now stands, for another
// machine), "Quorvane_Undo.reg" (the inverse) and "Quorvane_Undo.cmd" (deletes the added files
// and new folders, then imports Quorvane_Undo.reg). Likely noise is left out of all three and
// named at their ends. A change seen under HKEY_USERS\<userSid> (the user who ran the step) is
// written as HKEY_CURRENT_USER, once; one seen under HKEY_CLASSES_ROOT that a pass also saw
// under the machine's or the user's Software\Classes is written there, once.

struct UndoFilesCounts {
    unsigned long notRestoredTypeUnknown = 0;   // the baseline has no record of its lines
    unsigned long notRestoredDataNotExact = 0;  // the baseline's text cannot give the data back
};

// False, with failure set to the text the user is shown, when a file could not be written or
// the journal read.
bool WriteUndoFiles(const char* journalName, std::string_view userSid, UndoFilesCounts& counts,
                    std::string& failure);

// Where a change under a registry path is written for another machine: HKEY_USERS\<userSid>
// as HKEY_CURRENT_USER, HKEY_USERS\<userSid>_Classes as HKEY_CURRENT_USER\Software\Classes;
// every other path as it is. Plain text work.
std::string PortableRegistryPath(std::string_view path, std::string_view userSid);
