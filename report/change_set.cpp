#include "report/change_set.h"

#include <cstdio>

#include "report/writer_text.h"

namespace {

// Characters written as an escape rather than as themselves.
constexpr struct {
    char32_t c;
    std::string_view escape;
} kShortEscapes[] = {
    {U'"', "\\\""}, {U'\\', "\\\\"}, {U'\n', "\\n"}, {U'\r', "\\r"}, {U'\t', "\\t"}};

std::string_view ShortEscape(char32_t c) {
    for (const auto& row : kShortEscapes) {
        if (row.c == c) return row.escape;
    }
    return {};
}

bool NeedsUnicodeEscape(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

// Appends text as a JSON string; true when a bad byte had to be replaced.
bool AppendJsonString(std::string& out, std::string_view text) {
    bool lossy = false;
    out += '"';
    for (std::size_t i = 0; i < text.size();) {
        // Printable ASCII but the quote and the backslash goes as it is, a run at a time.
        std::size_t run = i;
        while (run < text.size() && text[run] >= 0x20 && text[run] < 0x7F && text[run] != '"' &&
               text[run] != '\\') {
            ++run;
        }
        out.append(text.data() + i, run - i);
        if (run == text.size()) break;
        i = run;
        const Utf8Char c = DecodeUtf8(text, i);
        if (c.length == 0) {
            AppendUtf8(out, kReplacementCharacter);
            lossy = true;
            ++i;
            continue;
        }
        i += c.length;
        if (const std::string_view escape = ShortEscape(c.codePoint); !escape.empty()) {
            out += escape;
        } else if (NeedsUnicodeEscape(c.codePoint)) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c.codePoint));
            out += escape;
        } else {
            out.append(text.substr(i - c.length, c.length));
        }
    }
    out += '"';
    return lossy;
}

// Days since 1970-01-01 as a civil date (proleptic Gregorian).
void CivilFromDays(std::int64_t days, std::int64_t& year, unsigned& month, unsigned& day) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned shiftedMonth = (5 * dayOfYear + 2) / 153;  // March is 0
    day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    year = static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
}

}  // namespace

void ChangeSetWriter::Key(std::string_view key) {
    if (piece_.back() != '{') piece_ += ',';
    piece_ += '"';
    piece_ += key;
    piece_ += "\":";
}

void ChangeSetWriter::Field(std::string_view key, std::string_view text) {
    Key(key);
    if (AppendJsonString(piece_, text)) lossy_ = true;
}

void ChangeSetWriter::Field(std::string_view key, std::uint64_t number) {
    Key(key);
    piece_ += std::to_string(number);
}

void ChangeSetWriter::EndLine() {
    if (lossy_) piece_ += ",\"lossy\":true";
    piece_ += "}\n";
    Emit();
    lossy_ = false;
}

void ChangeSetWriter::Run(std::string_view version, std::string_view time,
                          std::string_view computer, const std::vector<ChangeSetArea>& areas) {
    piece_ = "{\"type\":\"run\"";
    Field("version", version);
    Field("time", time);
    Field("computer", computer);
    piece_ += ",\"areas\":[";
    for (std::size_t i = 0; i < areas.size(); ++i) {
        const ChangeSetArea& area = areas[i];
        piece_ += i == 0 ? "{" : ",{";
        Field("area", area.area);
        Field("compared", area.compared);
        Field("baselineTime", area.baselineTime);
        Field("added", std::uint64_t{area.added});
        Field("modified", std::uint64_t{area.modified});
        Field("removed", std::uint64_t{area.removed});
        if (area.files) Field("newFolders", std::uint64_t{area.newFolders});
        Field("noise", std::uint64_t{area.noise});
        if (area.renamed != 0) Field("renamed", std::uint64_t{area.renamed});
        piece_ += '}';
    }
    piece_ += ']';
    EndLine();
}

void ChangeSetWriter::Item(const ChangeSetItem& item) {
    piece_ = "{\"type\":\"item\"";
    Field("area", item.area);
    Field("change", item.change);
    Field("item", item.item);
    Field("path", item.path);
    if (item.oldPath) Field("oldPath", *item.oldPath);
    if (item.name) Field("name", *item.name);
    if (item.oldName) Field("oldName", *item.oldName);
    if (item.text) Field("text", *item.text);
    if (item.oldText) Field("old", *item.oldText);
    if (item.newText) Field("new", *item.newText);
    if (item.oldType) Field("oldType", *item.oldType);
    if (item.newType) Field("newType", *item.newType);
    if (item.size) Field("size", *item.size);
    if (item.oldSize) Field("oldSize", *item.oldSize);
    if (item.newSize) Field("newSize", *item.newSize);
    if (!item.changeTime.empty()) Field("changeTime", item.changeTime);
    if (!item.sha256.empty()) {
        Field("sha256", item.sha256);
    } else if (!item.sha256Error.empty()) {
        Field("sha256Error", item.sha256Error);
    }
    if (item.category == ChangeCategory::None) {
        Key("category");
        piece_ += "null";
    } else {
        Field("category", CategoryName(item.category));
    }
    if (!item.meaning.empty()) Field("meaning", item.meaning);
    if (!item.exactName) lossy_ = true;
    EndLine();
}

void ChangeSetWriter::FindingLine(const Finding& finding) {
    piece_ = "{\"type\":\"finding\"";
    Field("kind", finding.kind);
    Field("category", CategoryName(finding.category));
    Field("change", finding.change);
    Field("title", finding.title);
    piece_ += ",\"facts\":{";
    for (const auto& [name, text] : finding.facts) Field(name, text);
    piece_ += "},\"items\":[";
    for (std::size_t i = 0; i < finding.entries.size(); ++i) {
        if (i != 0) piece_ += ',';
        piece_ += std::to_string(finding.entries[i].item);
    }
    piece_ += "],\"files\":[";
    for (std::size_t i = 0; i < finding.files.size(); ++i) {
        piece_ += i == 0 ? "{" : ",{";
        File(finding.files[i]);
        piece_ += '}';
    }
    piece_ += ']';
    EndLine();
}

void ChangeSetWriter::File(const FindingFile& file) {
    Field("path", file.path);
    Key("exists");
    piece_ += file.exists ? "true" : "false";
    Key("new");
    piece_ += file.isNew ? "true" : "false";
    if (!file.exists) return;
    Field("size", file.size);
    if (!file.sha256.empty()) {
        Field("sha256", file.sha256);
    } else if (!file.why.empty()) {
        Field("sha256Error", file.why);
    }
    if (file.signature.empty()) return;
    Field("signature", file.signature);
    if (!file.signer.empty()) Field("signer", file.signer);
    if (file.signature == "not valid" && !file.why.empty()) Field("reason", file.why);
}

std::string Iso8601FromFileTime(std::uint64_t fileTime) {
    if (fileTime == 0) return {};
    constexpr std::uint64_t kTicksPerSecond = 10000000;
    constexpr std::int64_t kDaysFrom1601To1970 = 134774;
    const std::uint64_t seconds = fileTime / kTicksPerSecond;
    const auto secondOfDay = static_cast<unsigned>(seconds % 86400);
    std::int64_t year;
    unsigned month, day;
    CivilFromDays(static_cast<std::int64_t>(seconds / 86400) - kDaysFrom1601To1970, year, month,
                  day);
    char text[40];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02u:%02u:%02uZ",
                  static_cast<long long>(year), month, day, secondOfDay / 3600,
                  secondOfDay / 60 % 60, secondOfDay % 60);
    return text;
}
