#include "platform/exception.hpp"

#include <system_error>
#include <utility>

namespace brindle {

Exception::Exception(const std::string& message) : std::runtime_error(message) {}

Exception::Exception(const char* message) : std::runtime_error(message) {}

Exception::Exception(const std::string& message, std::string reason)
    : std::runtime_error(message), reason_(std::move(reason)) {}

std::string ErrnoText(int error) {
    return std::error_code(error, std::generic_category()).message();
}

}  // namespace brindle
