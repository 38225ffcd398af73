#include "platform/exception.hpp"

namespace brindle {

Exception::Exception(const std::string& message) : std::runtime_error(message) {}

Exception::Exception(const char* message) : std::runtime_error(message) {}

}  // namespace brindle
