// The program's general error type. Every error that the core raises is an Exception or
// derives from it, so one guard catches them all. The message is UTF-8 text, normally one of
// the program's Japanese messages, with native file names inserted where the message has one.
#pragma once

#include <stdexcept>
#include <string>

namespace brindle {

class Exception : public std::runtime_error {
  public:
    explicit Exception(const std::string& message);
    explicit Exception(const char* message);
    // reason: what the system said (strerror's text, "locked by another program"), kept apart
    // from the message, so that a window shows the program's own text and the command line
    // can add the reason after it.
    Exception(const std::string& message, std::string reason);

    const std::string& Reason() const noexcept { return reason_; }

  private:
    std::string reason_;
};

// The system's text for an errno value ("No such file or directory").
std::string ErrnoText(int error);

}  // namespace brindle
