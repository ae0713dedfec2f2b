#pragma once

#include <array>
#include <functional>
#include <string>

// The SHA-256 of a file's content, through the system's CNG provider (bcrypt), read in large
// blocks without blocking any other program: the file is opened for reading with every share
// mode, its last-access time kept where the file system lets it be, and a link is not followed.

struct FileHash {
    enum class Outcome { Hashed, Unreadable, Stopped };
    Outcome outcome = Outcome::Unreadable;
    std::array<unsigned char, 32> digest{};
    std::string error;  // Unreadable: why, in words ("in use by another program", ...)

    bool Hashed() const { return outcome == Outcome::Hashed; }
    // The digest as 64 lower-case hex digits.
    std::string Hex() const;
};

// path is an extended-length path (ExtendedLengthPath). shouldStop, when given, is asked
// between blocks: a large file is not read to its end once the user asked to stop.
FileHash Sha256OfFile(const std::wstring& path, const std::function<bool()>& shouldStop = {});
