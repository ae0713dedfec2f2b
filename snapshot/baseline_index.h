#pragma once

#include <cstddef>
#include <functional>
#include <string_view>
#include <vector>

// Answers "was this line in the baseline?" in expected constant time. Built once per Step #2
// pass over the whole baseline text, which must outlive the index. Keys compare as Windows
// compares paths and names (see Contains). Plain C++: no Windows dependency, so tests and
// benchmarks use it anywhere.
//
// A baseline is a sequence of records, each ended by CR LF. A record may itself hold a lone CR
// or LF (registry value texts can). A last record without CR LF (a file cut short) still counts;
// a file cut between CR and LF keeps that CR in its last record. An empty record, and so an
// empty key, is a key like any other.
//
// The table's hash is seeded afresh by every Build, so nobody who can merely name files or
// registry entries can make many keys share a slot: a build whose probe chain still grows past
// kMaxProbes starts over with a new seed.
class BaselineIndex {
public:
    enum class Kind {
        // Records "path,<decimal>"; a key is the path, the record up to its last comma. The
        // decimal is one or more digits, leading zeros allowed, after an optional '-' (sizes
        // were once printed as signed 32-bit), so "-0" counts and "+5", " 5", "5 " or "-" do
        // not. A record that does not end in a comma and such a decimal gives no key.
        FilePaths,
        Records,  // a key is the whole record (registry key and value lines)
        // A key is a whole line, where a line is a record or several records in a row: the
        // CR LF pairs at the positions Build is given (joins) stand inside lines (a registry
        // value's text may hold line breaks). Keys may hold CR LF.
        Lines,
    };

    // Longest probe chain a build keeps. Chance alone stays far below it (about 150 at two
    // million keys in a table filled to 0.7), so only colliding keys reach it.
    static constexpr std::size_t kMaxProbes = 512;
    // Seeds a build tries; the last one is kept whatever its chains.
    static constexpr int kMaxSeeds = 4;

    BaselineIndex() = default;
    // A lower chain limit, so that tests can make builds start over.
    explicit BaselineIndex(std::size_t maxProbes) : maxProbes_(maxProbes) {}
    BaselineIndex(const BaselineIndex&) = delete;
    BaselineIndex& operator=(const BaselineIndex&) = delete;
    ~BaselineIndex();

    // Indexes text, replacing what was indexed before. Returns false when memory ran out (or
    // the text reaches a terabyte); the index is then empty and must not be used for a
    // comparison.
    // joins: for Lines, the positions of the CR of the CR LF pairs inside lines, ascending.
    bool Build(std::string_view text, Kind kind, std::vector<std::size_t> joins = {});

    // Keys compare as Windows compares names: without regard to letter case (ordinal, each
    // character upper-cased as the system does), but for their last exactTail bytes, which
    // compare exactly (a registry value's text). Keys of the text that differ only in letter
    // case are one key, at its first record.
    bool Contains(std::string_view key, std::size_t exactTail = 0) const;

    // Where a key was found: its first record's offset in the text, and whether that record's
    // key is the key asked for byte for byte (else it differs in letter case only).
    struct Match {
        std::size_t record = 0;
        bool sameBytes = true;
    };

    // Like Contains, and when the key is there marks it seen and gives the offset of its first
    // record in the text. Marks cost no memory: they live in the table's slots.
    bool MarkSeen(std::string_view key, std::size_t* firstRecord = nullptr);
    bool MarkSeen(std::string_view key, std::size_t exactTail, Match& match);

    // Calls visit for every record whose key was never marked seen, in text order; a key that
    // stands in several records is visited at its first. Records that give no key are passed
    // over.
    void ForEachUnseen(
        const std::function<void(std::size_t offset, std::string_view record)>& visit) const;
    // Whether line is a whole line of the text, and then marks it seen. Lines: exactly MarkSeen.
    // Records, where lines are not known: a line may hold CR LF (a registry value's text can),
    // which splits it into several records; it is known only where those stand one after
    // another, followed by the end of the text or by a record that starts with nextLineStart
    // (every line of a registry baseline starts with its root's name), so that pieces of other
    // lines, or the first piece of a longer line, never count as the line. Such a line's pieces
    // compare exactly; a line of one record compares as a key does.
    bool MarkSeenLine(std::string_view line, std::string_view nextLineStart,
                      std::size_t exactTail = 0, Match* match = nullptr);

    // Like Contains, and gives the offset of the key's first record in the text.
    bool Find(std::string_view key, std::size_t* firstRecord) const;
    bool Find(std::string_view key, std::size_t exactTail, Match& match) const;

    std::size_t Size() const;  // number of distinct keys
    std::string_view Text() const;  // the text indexed

    // How the last Build went: the seeds it tried and the longest probe chain of its table.
    struct Shape {
        int seeds = 0;
        std::size_t longestChain = 0;
    };
    Shape TableShape() const;

private:
    struct Impl;
    Impl* impl_ = nullptr;
    std::size_t maxProbes_ = kMaxProbes;
};

// Number of line-feed bytes in text (the 100 % mark of the progress bar).
std::size_t CountLineFeeds(std::string_view text);
