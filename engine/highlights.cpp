#include "engine/highlights.h"

#include "engine/change_kinds.h"
#include "engine/undo_files.h"
#include "snapshot/path_identity.h"

void Highlights::Add(const ReportedItem& item, std::string_view anchor) {
    const ChangeKind& kind = KindOf(item.kind);
    const std::string key = std::string(kind.highlight) + '\n' +
                            PathIdentity(PortableRegistryPath(item.path, userSid_)) + '\n' +
                            PathIdentity(item.name) + (item.exactName ? "" : "\n?");
    const auto [at, added] = at_.emplace(key, highlights_.size());
    if (!added) {
        ReportHighlight& first = highlights_[at->second];
        if (first.place != item.path) first.alsoAt.emplace_back(item.path);
        return;
    }
    ReportHighlight highlight;
    highlight.category = item.classification.category;
    highlight.change = kind.highlight;
    highlight.place = item.path;
    highlight.name = item.name;
    highlight.value = kind.value;
    highlight.meaning = item.meaning;
    if (item.kind == JournalKind::ChangedValue) {
        highlight.oldText = item.oldText;
        highlight.newText = item.newText;
    } else if (kind.value) {
        highlight.newText = item.text;
    }
    highlight.anchor = anchor;
    highlights_.push_back(std::move(highlight));
}
