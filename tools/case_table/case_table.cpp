// Writes text/case_table.inc, the upper-case mapping of every UTF-16 code unit as the system
// compares names: the ranges of code units that one difference maps, every one or every
// second one. Run under Windows or Wine, by tools/case_table/make, which says how.
//
// The mapping is the system's own, RtlUpcaseUnicodeChar, the table that CompareStringOrdinal
// ignores case by (and NTFS and the registry with it). Before a row is written it is checked
// against CompareStringOrdinal(..., TRUE) itself: every code unit equals its upper case, and
// the code units sorted by their upper case compare, each with the next, equal exactly where
// the two share it and less everywhere else; so the table makes the same classes in the same
// order as the system's comparison. A table that fails is not written.

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <vector>

namespace {

using Upcase = WCHAR(WINAPI*)(WCHAR);

struct Row {
    unsigned first, count, delta, stride;
};

// How many code units from c on, one every stride, map by the same difference; between them,
// for a stride of 2, code units that map to themselves.
unsigned RunFrom(const std::vector<WCHAR>& upper, unsigned c, unsigned stride) {
    const unsigned delta = (upper[c] - c) & 0xFFFF;
    unsigned count = 1;
    for (unsigned next = c + stride; next < 0x10000; next += stride, ++count) {
        if (((upper[next] - next) & 0xFFFF) != delta) break;
        if (stride == 2 && upper[next - 1] != next - 1) break;
    }
    return count;
}

int Compare(WCHAR a, WCHAR b) { return CompareStringOrdinal(&a, 1, &b, 1, TRUE); }

// The checks of the header comment; the number of code units that fail them.
int Check(const std::vector<WCHAR>& upper) {
    int failures = 0;
    for (unsigned c = 0; c < 0x10000; ++c) {
        if (Compare(static_cast<WCHAR>(c), upper[c]) != CSTR_EQUAL) {
            std::fprintf(stderr, "U+%04X and its upper case U+%04X compare unequal\n", c, upper[c]);
            ++failures;
        }
    }
    std::vector<unsigned> order(0x10000);
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(),
                     [&](unsigned a, unsigned b) { return upper[a] < upper[b]; });
    for (std::size_t i = 1; i < order.size(); ++i) {
        const WCHAR a = static_cast<WCHAR>(order[i - 1]), b = static_cast<WCHAR>(order[i]);
        const int expected = upper[a] == upper[b] ? CSTR_EQUAL : CSTR_LESS_THAN;
        if (Compare(a, b) != expected) {
            std::fprintf(stderr, "U+%04X against U+%04X: %d, the table says %d\n", a, b,
                         Compare(a, b), expected);
            ++failures;
        }
    }
    return failures;
}

// How many code units the other upper-casing functions map otherwise, a note for the table's
// reader: names do not compare by them.
void CountOthers(const std::vector<WCHAR>& upper, int& charUpper, int& lcMap) {
    charUpper = lcMap = 0;
    for (unsigned c = 0; c < 0x10000; ++c) {
        WCHAR a = static_cast<WCHAR>(c), b = 0;
        CharUpperBuffW(&a, 1);
        const WCHAR in = static_cast<WCHAR>(c);
        LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, &in, 1, &b, 1, nullptr, nullptr, 0);
        charUpper += a != upper[c];
        lcMap += b != upper[c];
    }
}

template <typename Function>
Function NtdllFunction(const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), name)));
}

// Which system made the table: Wine tells its version; Windows its own, as RtlGetVersion has it
// (GetVersionEx answers what the program's manifest allows).
void SystemName(char* name, std::size_t size) {
    if (const auto wine = NtdllFunction<const char*(CDECL*)()>("wine_get_version")) {
        std::snprintf(name, size, "Wine %s", wine());
        return;
    }
    RTL_OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (const auto get = NtdllFunction<LONG(WINAPI*)(RTL_OSVERSIONINFOW*)>("RtlGetVersion")) {
        get(&version);
    }
    std::snprintf(name, size, "Windows %lu.%lu.%lu", version.dwMajorVersion, version.dwMinorVersion,
                  version.dwBuildNumber);
}

}  // namespace

int main() {
    const auto upcase = NtdllFunction<Upcase>("RtlUpcaseUnicodeChar");
    if (upcase == nullptr) {
        std::fprintf(stderr, "error: ntdll.dll has no RtlUpcaseUnicodeChar\n");
        return 1;
    }
    std::vector<WCHAR> upper(0x10000);
    unsigned mapped = 0;
    for (unsigned c = 0; c < 0x10000; ++c) {
        upper[c] = upcase(static_cast<WCHAR>(c));
        mapped += upper[c] != c;
    }
    if (const int failures = Check(upper); failures != 0) {
        std::fprintf(stderr, "error: %d code units compare otherwise than the table says\n",
                     failures);
        return 1;
    }

    std::vector<Row> rows;
    for (unsigned c = 0; c < 0x10000;) {
        if (upper[c] == c) {
            ++c;
            continue;
        }
        const unsigned one = RunFrom(upper, c, 1), two = RunFrom(upper, c, 2);
        const Row row{c, std::max(one, two), (upper[c] - c) & 0xFFFFu, two > one ? 2u : 1u};
        rows.push_back(row);
        c += (row.count - 1) * row.stride + 1;
    }

    char system[64];
    SystemName(system, sizeof system);
    int charUpper = 0, lcMap = 0;
    CountOthers(upper, charUpper, lcMap);
    _setmode(_fileno(stdout), _O_BINARY);
    std::printf(
        "// Made by tools/case_table/make (tools/case_table/case_table.cpp) on %s from the\n"
        "// system's RtlUpcaseUnicodeChar, checked against CompareStringOrdinal(..., TRUE) for\n"
        "// every code unit. Do not edit; make it again. There, CharUpperBuffW maps %d code\n"
        "// units otherwise, LCMapStringEx(LCMAP_UPPERCASE) of the invariant locale %d.\n"
        "// Each row: first code unit, count, difference to its upper case (mod 0x10000),\n"
        "// stride. The code units first, first + stride, ... (count of them) map to themselves\n"
        "// plus the difference; every other code unit maps to itself. %u code units map,\n"
        "// in %zu rows.\n",
        system, charUpper, lcMap, mapped, rows.size());
    for (const Row& row : rows) {
        std::printf("{0x%04X, %u, 0x%04X, %u},\n", row.first, row.count, row.delta, row.stride);
    }
    return 0;
}
