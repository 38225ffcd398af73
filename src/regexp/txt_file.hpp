// TTxtFile: the buffered line reader of the text-file search.
//
// The file is read in blocks of 102,400 bytes. CR LF, a lone CR and LF each end a line (a CR
// at the end of one block and the LF at the start of the next are still one line end), and a
// line that crosses a block boundary is delivered whole. After every block the owner's
// pending-message callback runs and the cancel flag is checked.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/exception.hpp"

namespace brindle {

// The file cannot be opened; the message is the system's error text.
class EFileNotFound : public Exception {
  public:
    using Exception::Exception;
};
// The end of the file; ends a search and never reaches the search's caller.
class EEndOfFile : public Exception {
  public:
    EEndOfFile() : Exception("End Of File") {}
};
// The caller set the search's cancel flag.
class EGrepCancel : public Exception {
  public:
    EGrepCancel() : Exception("CancelRequest") {}
};

class TTxtFile {
  public:
    static constexpr std::size_t kBufferSize = 102400;

    // cancel may be null; process_messages may be empty. Raises EFileNotFound when the file
    // cannot be opened, EEndOfFile when it is empty.
    TTxtFile(const std::string& file_name, const bool* cancel,
             std::function<void()> process_messages);

    // The next line without its line end; raises EEndOfFile after the last line.
    void ReadLine(std::string& line);
    // The number of the line ReadLine returned last, 1 for the first.
    std::size_t LineNumber() const { return line_number_; }

  private:
    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };

    // Reads the next block; raises EEndOfFile when the file has no more data.
    void BuffRead();
    void CheckCancel() const;

    std::unique_ptr<std::FILE, FileCloser> file_;
    const bool* cancel_;
    std::function<void()> process_messages_;
    std::vector<char> buffer_;
    std::size_t size_ = 0;
    std::size_t pos_ = 0;
    bool at_eof_ = false;
    bool skip_lf_ = false;  // the last line ended with a CR: an LF right after belongs to it
    std::size_t line_number_ = 0;
};

}  // namespace brindle
