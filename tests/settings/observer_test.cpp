#include "settings/observer.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace brindle {
namespace {

class Recorder : public TObservable {
  public:
    Recorder(std::vector<std::string>& log, std::string name) : log_(log), name_(std::move(name)) {}
    void Update() override {
        log_.push_back(name_);
        if (on_update) {
            on_update();
        }
    }
    std::function<void()> on_update;

  private:
    std::vector<std::string>& log_;
    std::string name_;
};

class Subject : public TObserver {
  public:
    using TObserver::SetSuspended;
};

TEST(Observer, NotifiesInRegistrationOrderUntilUnregistered) {
    std::vector<std::string> log;
    Subject subject;
    Recorder a(log, "a");
    Recorder b(log, "b");
    Recorder c(log, "c");
    TObserverRegistration ra = subject.AddObservable(a);
    auto rb = std::make_unique<TObserverRegistration>(subject.AddObservable(b));
    TObserverRegistration rc = subject.AddObservable(c);
    subject.NotifyObservables();
    EXPECT_EQ(log, (std::vector<std::string>{"a", "b", "c"}));

    log.clear();
    rb.reset();
    subject.NotifyObservables();
    EXPECT_EQ(log, (std::vector<std::string>{"a", "c"}));

    log.clear();
    TObserverRegistration moved = std::move(rc);
    rc.Reset();  // the moved-from registration no longer owns the listener
    subject.NotifyObservables();
    EXPECT_EQ(log, (std::vector<std::string>{"a", "c"}));
}

TEST(Observer, SuspendedSendsNothing) {
    std::vector<std::string> log;
    Subject subject;
    Recorder a(log, "a");
    const TObserverRegistration ra = subject.AddObservable(a);
    subject.SetSuspended(true);
    subject.NotifyObservables();
    EXPECT_TRUE(log.empty());
    subject.SetSuspended(false);
    subject.NotifyObservables();
    EXPECT_EQ(log.size(), 1u);
}

TEST(Observer, ListenerRemovedDuringARoundIsNotCalled) {
    std::vector<std::string> log;
    Subject subject;
    Recorder a(log, "a");
    auto b = std::make_unique<Recorder>(log, "b");
    Recorder late(log, "late");
    TObserverRegistration rb;
    TObserverRegistration rlate;
    // a destroys b (as closing a window would) and registers another listener.
    a.on_update = [&] {
        rb.Reset();
        b.reset();
        rlate = subject.AddObservable(late);
    };
    const TObserverRegistration ra = subject.AddObservable(a);
    rb = subject.AddObservable(*b);
    subject.NotifyObservables();
    EXPECT_EQ(log, (std::vector<std::string>{"a"}));
    log.clear();
    a.on_update = nullptr;
    subject.NotifyObservables();
    EXPECT_EQ(log, (std::vector<std::string>{"a", "late"}));
}

TEST(Observer, RegistrationOutlivingTheSubjectIsHarmless) {
    std::vector<std::string> log;
    Recorder a(log, "a");
    TObserverRegistration registration;
    {
        Subject subject;
        registration = subject.AddObservable(a);
    }
    registration.Reset();
    EXPECT_TRUE(log.empty());
}

}  // namespace
}  // namespace brindle
