#pragma once

#include <string>

// A fresh, empty folder for one test (removed with its contents when the object goes), made
// the current directory while the object lives. Its path holds no product name, so the file
// walker does not skip it.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& name, bool makeCurrent = true);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& Path() const { return path_; }  // without a final backslash
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
    std::string previous_;
};

// Removes a folder and everything below it; missing is fine.
void RemoveTree(const std::string& path);
bool PathExists(const std::string& path);
// Writes bytes to a file (created or truncated); false on failure.
bool WriteWholeFile(const std::string& path, const std::string& bytes);
// The whole file, or an empty text when it cannot be read.
std::string ReadWholeFile(const std::string& path);
