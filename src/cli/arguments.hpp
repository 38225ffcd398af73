// Arguments reach the commands exactly as given. CLI11 reads a value written as a bracketed
// list ("[a,b]") as several values whenever an option may take more than one, which would turn
// a regular expression such as "[a-z]" or a mailbox named "[a.dbx,b.dbx]" into something else.
// Such arguments are marked before parsing with a leading NUL byte, which no argument of a real
// command line can hold, and every value option takes the mark off again.
#pragma once

#include <string>
#include <vector>

namespace CLI {
class Option;
}

namespace brindle::cli {

// argv[1..] in the reverse order that CLI::App::parse(std::vector<std::string>&) expects, each
// argument that CLI11 would split marked.
std::vector<std::string> ArgumentsForParser(int argc, const char* const* argv);

// Makes the option store its values as they were given (the mark taken off). Answers option.
CLI::Option* Verbatim(CLI::Option* option);

// A parser message with the marks taken out, for printing.
std::string WithoutMarks(std::string text);

}  // namespace brindle::cli
