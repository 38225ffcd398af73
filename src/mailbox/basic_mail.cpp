#include "mailbox/basic_mail.hpp"

namespace brindle {

const std::vector<std::string>& THeaderMap::Values(const std::string& key) const {
    static const std::vector<std::string> kNone;
    const auto it = fields_.find(key);
    return it == fields_.end() ? kNone : it->second;
}

void THeaderMap::Add(const std::string& key, std::string value) {
    fields_[key].push_back(std::move(value));
}

}  // namespace brindle
