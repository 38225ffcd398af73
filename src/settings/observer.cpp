#include "settings/observer.hpp"

#include <algorithm>

namespace brindle {

TObserverRegistration::TObserverRegistration(std::weak_ptr<detail::ListenerList> list,
                                             std::uint64_t id)
    : list_(std::move(list)), id_(id) {}

TObserverRegistration::~TObserverRegistration() {
    Reset();
}

TObserverRegistration::TObserverRegistration(TObserverRegistration&& other) noexcept
    : list_(std::move(other.list_)), id_(std::exchange(other.id_, 0)) {}

TObserverRegistration& TObserverRegistration::operator=(TObserverRegistration&& other) noexcept {
    if (this != &other) {
        Reset();
        list_ = std::move(other.list_);
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

void TObserverRegistration::Reset() {
    if (const auto list = list_.lock()) {
        std::erase_if(list->entries, [this](const auto& entry) { return entry.first == id_; });
    }
    list_.reset();
    id_ = 0;
}

TObserver::TObserver() : listeners_(std::make_shared<detail::ListenerList>()) {}

TObserverRegistration TObserver::AddObservable(TObservable& listener) {
    const std::uint64_t id = listeners_->next_id++;
    listeners_->entries.emplace_back(id, &listener);
    return TObserverRegistration(listeners_, id);
}

void TObserver::NotifyObservables() {
    if (suspended_) {
        return;
    }
    // A listener may register or unregister others while it runs, so the round goes by the
    // ids present at its start and looks each one up again before calling it.
    std::vector<std::uint64_t> ids;
    ids.reserve(listeners_->entries.size());
    for (const auto& entry : listeners_->entries) {
        ids.push_back(entry.first);
    }
    const std::shared_ptr<detail::ListenerList> list = listeners_;
    for (const std::uint64_t id : ids) {
        const auto it = std::find_if(list->entries.begin(), list->entries.end(),
                                     [id](const auto& entry) { return entry.first == id; });
        if (it != list->entries.end()) {
            it->second->Update();
        }
    }
}

}  // namespace brindle
