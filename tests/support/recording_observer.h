#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "snapshot/scan_observer.h"

// Records what a walker reports, and can ask it to stop after a number of visited items.
class RecordingObserver final : public ScanObserver {
public:
    // Stop once this many items were visited; 0 never stops.
    std::size_t stopAfterItems = 0;

    std::vector<std::string> visited;
    std::vector<std::string> copyTargets;
    int newFiles = 0;
    int newRegistryValues = 0;
    int newRegistryKeys = 0;
    int stopQuestions = 0;

    bool ShouldStop() override {
        ++stopQuestions;
        return stopAfterItems != 0 && visited.size() >= stopAfterItems;
    }
    void ItemVisited(std::string_view itemText) override { visited.emplace_back(itemText); }
    void NewFileFound() override { ++newFiles; }
    void NewRegistryEntryFound(RegistryEntry kind) override {
        ++(kind == RegistryEntry::Key ? newRegistryKeys : newRegistryValues);
    }
    void CopyingFile(std::string_view targetPath) override { copyTargets.emplace_back(targetPath); }
};
