// The program's general error type. Every error that the core raises is an Exception or
// derives from it, so one guard catches them all. It carries a message of the catalogue (an
// entry and its arguments), which a front end renders in its language; what() is that message
// rendered in the process's language when it was raised.
#pragma once

#include <stdexcept>
#include <string>

#include "platform/catalogue.hpp"

namespace brindle {

class Exception : public std::runtime_error {
  public:
    // reason: what the system said (strerror's text, already in the process's language), kept
    // apart from the message, so that a window shows the program's own text and the command
    // line can add the reason after it.
    explicit Exception(TMessage message, std::string reason = {});
    // A finished text, for texts that come whole from elsewhere (a library's error).
    explicit Exception(const std::string& message);
    explicit Exception(const char* message);
    // reason: what the system said (strerror's text, "locked by another program"), kept apart
    // from the message, so that a window shows the program's own text and the command line
    // can add the reason after it.
    Exception(const std::string& message, std::string reason);

    const std::string& Reason() const noexcept { return reason_; }
    // The catalogue's message; without an entry for an exception made from a finished text.
    const TMessage& Message() const noexcept { return message_; }

  private:
    TMessage message_;
    std::string reason_;
};

// The system's text for an errno value ("No such file or directory"), in the process's language
// where the C library has it and the locale is installed, else in English.
std::string ErrnoText(int error);

}  // namespace brindle
