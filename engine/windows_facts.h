#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/findings.h"

// What Windows itself tells of the files and records a finding names: the environment, a file's
// size, hash and Authenticode signature, a certificate store's Blob, a shortcut, a task file.
// Every path and every byte read comes from the machine and may be hostile: a file that cannot
// be read gives no facts or says why, never a crash. Texts in and out are UTF-8.
class WindowsSystemFacts final : public SystemFacts {
public:
    // shouldStop: asked between the blocks of a file being hashed (Abort).
    explicit WindowsSystemFacts(std::function<bool()> shouldStop = {})
        : shouldStop_(std::move(shouldStop)) {}

    std::string ExpandEnvironment(std::string_view text) const override;
    bool FileExists(std::string_view path) const override;
    FindingFile Inspect(std::string_view path) const override;
    std::vector<std::pair<std::string_view, std::string>> Certificate(
        std::string_view blob) const override;
    std::vector<std::pair<std::string_view, std::string>> Shortcut(
        std::string_view path) const override;
    std::vector<std::pair<std::string_view, std::string>> Task(
        std::string_view path) const override;

private:
    std::function<bool()> shouldStop_;
};
