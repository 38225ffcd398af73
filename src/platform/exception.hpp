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
};

}  // namespace brindle
