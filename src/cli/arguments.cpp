#include "cli/arguments.hpp"

#include <CLI/CLI.hpp>
#include <algorithm>

namespace brindle::cli {
namespace {

constexpr char kMark = '\0';

}  // namespace

std::vector<std::string> ArgumentsForParser(int argc, const char* const* argv) {
    std::vector<std::string> args;
    for (int i = argc - 1; i > 0; --i) {
        std::string arg = argv[i];
        if (arg.size() >= 2 && arg.front() == '[' && arg.back() == ']') {
            arg.insert(arg.begin(), kMark);
        }
        args.push_back(std::move(arg));
    }
    return args;
}

CLI::Option* Verbatim(CLI::Option* option) {
    // A transform runs on every value before it is stored.
    return option->transform(CLI::Validator(
        [](std::string& value) {
            if (!value.empty() && value.front() == kMark) {
                value.erase(value.begin());
            }
            return std::string();
        },
        std::string()));
}

std::string WithoutMarks(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), kMark), text.end());
    return text;
}

}  // namespace brindle::cli
