#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "engine/known_places.h"
#include "report/change_category.h"

// What a reported change means: a table of rules, one row each, and a classifier that finds
// the row that fits an item. Plain C++; the places come in through KnownPlaces.
//
// Patterns are split at "\" into segments and compared ignoring ASCII letter case, a segment
// whole: "*" stands for one segment or part of one ("*.lnk", "S-1-5-*"), "**" for any number
// of segments, none included. The letters beside a "*" in a segment fit whole words of a name,
// never letters inside one: "*MRU*" fits BagMRU, OpenSaveMRU and "Map Network Drive MRU", not
// Camrun. A word of a name ends where the name does, at a character that is neither letter
// nor digit, between letters and digits, where an upper-case letter follows a lower-case one
// (Bag|MRU), and before the last of several upper-case letters that a lower-case one follows
// (GPU|Cache).
//
// Files: a pattern starts with a place in braces, which stands for each place it names (see
// change_rules.cpp); a row whose places are all unknown is left out.
//
// Registry: a pattern starts with HKLM, HKCU (every user's hive: HKEY_CURRENT_USER and each
// HKEY_USERS\<SID> or .DEFAULT), HKCR (HKEY_CLASSES_ROOT) or {classes} (the Software\Classes of
// any hive: HKLM's, a user's, and HKEY_CLASSES_ROOT). Before matching, HKEY_USERS\<SID>_Classes
// becomes HKCU\Software\Classes, ControlSet001, ControlSet002, ... become CurrentControlSet,
// and Wow6432Node segments are skipped, so one pattern covers both registry views. A row
// without a value-name pattern fits the keys its pattern fits and their values; with one, only
// those values whose whole name fits it ("*" for any characters, beside them whole words, as in
// segments; a name is never split).
//
// Precedence when several rows fit: an autostart or security row beats every noise row; then
// the most specific row wins: more literal segments, then a value-name pattern over none,
// then more literal characters (value name included), then fewer "**", then the earlier row.
// A place counts as the literal segments it stands for.
//
// A key is claimed by a registry row that is not noise, has no value-name pattern and does not
// end in "**" (a service, a class, an uninstall entry: one thing, taken back whole). Below a
// claimed key, and among a claimed key's values, a noise row fits only when its pattern spells
// the claimed key out, segment by segment, literally: Servicesam\** stays noise below the
// service that Services\* claims, but HKCU\Software\**\*MRU*\** cannot make part of a protocol
// that an installer registered noise. What is left fits the other rows, or none.

enum class RuleArea { Files, Registry };

struct ChangeRule {
    ChangeCategory category;
    RuleArea area;
    const char* pattern;
    const char* valueName;  // registry: nullptr = keys and their values
    // The words, as DescribeChange fills them in.
    const char* meaning;
};

extern const std::span<const ChangeRule> kChangeRules;

struct Classification {
    ChangeCategory category = ChangeCategory::None;
    const ChangeRule* rule = nullptr;
};

class ChangeClassifier {
public:
    explicit ChangeClassifier(const KnownPlaces& places,
                              std::span<const ChangeRule> rules = kChangeRules);
    ~ChangeClassifier();
    ChangeClassifier(ChangeClassifier&&) noexcept;
    ChangeClassifier& operator=(ChangeClassifier&&) noexcept;

    // A file, or a folder ending in "\".
    Classification ClassifyFile(std::string_view path) const;
    // A key path as in the baseline lines: HKEY_LOCAL_MACHINE\SOFTWARE\...
    Classification ClassifyKey(std::string_view keyPath) const;
    // A value: its key's path and its name ("" for the default value).
    Classification ClassifyValue(std::string_view keyPath, std::string_view name) const;

    struct Index;

private:
    std::unique_ptr<Index> index_;
};

// What the engine knows of a change when it words it.
struct MeaningContext {
    std::string_view text;     // a value's new (or removed) text; "" for keys and files
    std::string_view oldText;  // a changed value's old text
    // The text of another value of the item's key (for a key: among values added with it);
    // nullopt when unknown.
    std::function<std::optional<std::string_view>(std::string_view name)> valueOf;
    std::string_view name;  // a value's name
    bool removed = false;   // the item is gone since the baseline
};

// The rule's words for a change. Placeholders:
//   {text} {old} {name}  the value's text, its old text, its name
//   {gained} {lost}      the parts of a ";"-separated list that the change added, removed
//                        (of a removed item: all of its parts are lost)
//   <Name>               the text of the key's value Name; <> is the default value
//   {text:table} <Name:table>  the same, put into words by a table (start, servicetype, onoff,
//                        deny, consent, disabled, spynet, samples, threataction, vbawarnings)
// A part in [brackets] is dropped whole when a placeholder in it has no data; a placeholder
// without data outside brackets drops out with its blank. Words after a "|" are those of a
// removed item, when they differ.
std::string DescribeChange(const ChangeRule& rule, const MeaningContext& context);

// Whether a key path's segment, in lower case, is a numbered control set ("controlset001"),
// which the rules and the findings read as "currentcontrolset".
bool IsControlSet(std::string_view segment);
// The words a table of DescribeChange gives a value's text ("2" in "start": "starts
// automatically"); nullopt when it has none.
std::optional<std::string_view> TableWords(std::string_view table, std::string_view text);
// The parts of a ";"-separated list that other lacks (a final "\" and ASCII letter case aside),
// joined by "; ".
std::string ListPartsMissing(std::string_view list, std::string_view other);
