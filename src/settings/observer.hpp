// Change notices from the job to the windows that show it. The subject (TObserver) calls
// Update on every registered listener (TObservable) in order of registration. A listener is
// registered through a TObserverRegistration that removes it again when destroyed, so a window
// that goes away is never called afterwards, whichever of the two is destroyed first.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace brindle {

class TObservable {
  public:
    virtual ~TObservable() = default;
    virtual void Update() = 0;
};

namespace detail {
struct ListenerList {
    std::vector<std::pair<std::uint64_t, TObservable*>> entries;  // not owned
    std::uint64_t next_id = 1;
};
}  // namespace detail

// Keeps one listener registered for as long as it lives. Movable, not copyable.
class TObserverRegistration {
  public:
    TObserverRegistration() = default;
    ~TObserverRegistration();
    TObserverRegistration(TObserverRegistration&& other) noexcept;
    TObserverRegistration& operator=(TObserverRegistration&& other) noexcept;
    TObserverRegistration(const TObserverRegistration&) = delete;
    TObserverRegistration& operator=(const TObserverRegistration&) = delete;

    // Unregisters now; later notices no longer reach the listener.
    void Reset();

  private:
    friend class TObserver;
    TObserverRegistration(std::weak_ptr<detail::ListenerList> list, std::uint64_t id);

    std::weak_ptr<detail::ListenerList> list_;
    std::uint64_t id_ = 0;
};

class TObserver {
  public:
    TObserver();
    TObserver(const TObserver&) = delete;
    TObserver& operator=(const TObserver&) = delete;

    // Appends the listener; it stays registered while the returned object lives.
    [[nodiscard]] TObserverRegistration AddObservable(TObservable& listener);

    // Calls Update on every listener in order of registration, unless notices are suspended.
    // A listener that unregisters another during the round is not called afterwards; one
    // registered during the round waits for the next notice.
    void NotifyObservables();

  protected:
    void SetSuspended(bool suspended) { suspended_ = suspended; }
    bool IsSuspended() const { return suspended_; }

  private:
    std::shared_ptr<detail::ListenerList> listeners_;
    bool suspended_ = false;
};

}  // namespace brindle
