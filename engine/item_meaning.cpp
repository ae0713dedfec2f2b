#include "engine/item_meaning.h"

void KeyValues::Note(std::string_view keyPath, std::string_view name, std::string_view text) {
    if (keys_.empty()) return;
    const auto key = keys_.find(std::string(keyPath));
    if (key != keys_.end()) key->second[std::string(name)] = text;
}

std::function<std::optional<std::string_view>(std::string_view)> KeyValues::Of(
    std::string_view keyPath) const {
    const auto key = keys_.find(std::string(keyPath));
    if (key == keys_.end()) return {};
    const auto* names = &key->second;
    return [names](std::string_view name) -> std::optional<std::string_view> {
        const auto found = names->find(std::string(name));
        if (found == names->end()) return std::nullopt;
        return std::string_view(found->second);
    };
}

Classification ClassifyEntryLine(const ChangeClassifier& classifier, std::string_view line) {
    const std::size_t equals = line.find('=');
    const std::size_t cut = line.rfind('\\', equals);
    if (equals == std::string_view::npos || cut == std::string_view::npos) {
        return classifier.ClassifyKey(line);
    }
    const std::string_view rest = line.substr(cut + 1);
    return classifier.ClassifyValue(line.substr(0, cut), rest.substr(0, rest.find('=')));
}

void DescribeItem(ReportedItem& item, const MeaningContext& context) {
    if (item.classification.rule != nullptr) {
        item.meaning = DescribeChange(*item.classification.rule, context);
    }
}
