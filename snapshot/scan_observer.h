#pragma once

#include <string_view>

// What a walker tells its caller while it runs. The main dialog implements it to keep the
// window alive and show progress; tests and benchmarks implement it without any window.
// The walkers never format user-facing text themselves beyond the item they report.
class ScanObserver {
public:
    enum class RegistryEntry { Value, Key };

    // Called between entries (directory entries, registry subkeys). Returns true when the
    // scan must stop (the user pressed Abort). Implementations pump window messages on a
    // time budget, not on every call.
    virtual bool ShouldStop() = 0;

    // One item was visited: a file (its full path), a registry value or key (its progress
    // text). Called for every item; implementations throttle what they show.
    virtual void ItemVisited(std::string_view itemText) = 0;

    // Compare mode: a new file was written to the change list.
    virtual void NewFileFound() = 0;

    // Compare mode: a new or changed registry line was written to the change list.
    virtual void NewRegistryEntryFound(RegistryEntry kind) = 0;

    // A new file is about to be copied to this target path.
    virtual void CopyingFile(std::string_view targetPath) = 0;

protected:
    ~ScanObserver() = default;
};
