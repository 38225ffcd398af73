// TDBXParser: the reader of Outlook Express mailboxes (.dbx). It walks the file's message index
// (a tree of nodes whose entries point at message info records) into a list of record offsets,
// and reads a message's stored text by following the chain of blocks that its record points at.
//
// The file is outside data, often damaged: every offset, count and length read from it is
// checked against the file's size before use, the index walk and the block chains keep a set of
// visited offsets, and the walk uses its own stack, so a hostile file can neither crash, hang
// nor exhaust memory beyond what its size allows. A fault in one message's record or block
// chain is that message's error (ReadMailLines throws, other messages still read); a file that
// cannot be opened or whose index cannot be walked is the file's error (GetMailCount throws).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "model/basic_mail.hpp"
#include "platform/line_list.hpp"

namespace brindle {

class TDBXParser : public TBasicMailReader {
  public:
    // Opens the file read-only and takes an exclusive non-blocking lock; reports nothing. A file
    // that fails to open (or that another run holds) fails at the first GetMailCount.
    explicit TDBXParser(const std::filesystem::path& path);
    ~TDBXParser() override;
    TDBXParser(const TDBXParser&) = delete;
    TDBXParser& operator=(const TDBXParser&) = delete;

    // The number of messages that the index walk finds, whatever the header's count says. The
    // first call walks the index; later calls return the cached result.
    std::int32_t GetMailCount() override;
    Lines ReadMailLines(std::int32_t index) override;
    // A header count that differs from the messages found.
    std::vector<std::string> GetWarnings() const override;
    // The same text before splitting, exactly as the block chain holds it.
    std::string ReadMailText(std::int32_t index);

    // The message count written in the file's header (valid after GetMailCount); it may differ
    // from GetMailCount on damaged files, and callers warn when it does.
    std::int32_t HeaderMessageCount() const { return header_count_; }

  private:
    class File;

    void BuildMessageList();
    void WalkIndex(std::int32_t root);
    std::int64_t LocateFirstBlock(std::int32_t record) const;
    std::string ReadBlockChain(std::int64_t first_block) const;

    std::unique_ptr<File> file_;
    bool walked_ = false;
    std::int32_t header_count_ = 0;
    std::vector<std::int32_t> messages_;  // record offsets in index order
};

}  // namespace brindle
