// The baseline index of both kinds against the reference: its keys, answers, first records,
// marks and the walk over what was never seen, also when builds start over with new seeds.
//
// Input: a flag byte (bit 0: file records; bits 1-3: a low chain limit, 0 for the usual one;
// bits 4-5: which keys to mark besides the queries), then the baseline text, then queries,
// fields cut at byte 0xFE.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <set>

#include "fuzz/reference.h"
#include "snapshot/baseline_index.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const unsigned flags = data[0];
    const std::vector<std::string> fields =
        reference::Fields({reinterpret_cast<const char*>(data) + 1, size - 1});
    const std::string& text = fields[0];
    const bool filePaths = (flags & 1) != 0;
    const std::size_t lowLimit = (flags >> 1) & 7;
    const std::size_t maxProbes = lowLimit != 0 ? lowLimit : BaselineIndex::kMaxProbes;

    const reference::Baseline expected = reference::IndexBaseline(text, filePaths);
    BaselineIndex index(maxProbes);
    FUZZ_CHECK(index.Build(
        text, filePaths ? BaselineIndex::Kind::FilePaths : BaselineIndex::Kind::Records));
    FUZZ_CHECK(index.Size() == expected.firstOffset.size());
    const BaselineIndex::Shape shape = index.TableShape();
    // Nothing the input holds can tell it the seed, so ordinary limits never need another.
    if (lowLimit == 0) FUZZ_CHECK(shape.seeds <= 1);
    FUZZ_CHECK(shape.seeds <= BaselineIndex::kMaxSeeds);
    FUZZ_CHECK(shape.seeds == BaselineIndex::kMaxSeeds || shape.longestChain <= maxProbes);

    for (const reference::Record& record : expected.records) {
        if (record.hasKey) FUZZ_CHECK(index.Contains(record.key));
    }

    // Queries: the given ones, every record, and pieces of the text around each record.
    std::vector<std::string> queries(fields.begin() + 1, fields.end());
    for (const reference::Record& record : expected.records) {
        queries.push_back(record.text);
        queries.push_back(record.key + ",");
        if (!record.key.empty()) queries.push_back(record.key.substr(1));
        queries.push_back(text.substr(record.offset, record.key.size() + 1));
    }
    std::set<std::string> marked;
    for (std::size_t i = 0; i < queries.size(); ++i) {
        const std::string& query = queries[i];
        const std::string folded = reference::Folded(query);
        const auto found = expected.firstOffset.find(folded);
        const bool old = found != expected.firstOffset.end();
        FUZZ_CHECK(index.Contains(query) == old);
        if (i < fields.size() - 1 || i % 4 == ((flags >> 4) & 3)) {
            std::size_t first = static_cast<std::size_t>(-1);
            FUZZ_CHECK(index.MarkSeen(query, &first) == old);
            if (old) {
                FUZZ_CHECK(first == found->second);
                marked.insert(folded);
            }
        }
    }

    std::vector<std::size_t> unseen;
    index.ForEachUnseen([&](std::size_t offset, std::string_view record) {
        FUZZ_CHECK(std::string_view(text).substr(offset, record.size()) == record);
        unseen.push_back(offset);
    });
    std::vector<std::size_t> expectedUnseen;
    for (const auto& [key, offset] : expected.firstOffset) {
        if (marked.count(key) == 0) expectedUnseen.push_back(offset);
    }
    std::sort(expectedUnseen.begin(), expectedUnseen.end());
    FUZZ_CHECK(unseen == expectedUnseen);
    return 0;
}
