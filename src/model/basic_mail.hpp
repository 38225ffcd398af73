// The abstractions that keep the conversion run, the naming and the matcher independent of the
// mailbox format and the message parser: a mailbox (TBasicMailParser) that counts its messages
// and builds any one of them, and a message (TBasicMail). Beneath them, a reader
// (TBasicMailReader) delivers a mailbox's stored texts; the message library turns a reader into
// a TBasicMailParser (message/parsed_mailbox.hpp), so readers know nothing of parsing.
//
// Threads: one object of these classes is used by one thread at a time; different objects may
// be used on different threads at once.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/exception.hpp"
#include "platform/line_list.hpp"
#include "platform/text_encoding.hpp"

namespace brindle {

// Upper-cased field name with its colon ("SUBJECT:") to the decoded values of that field, in
// the order in which the field occurs in the message.
class THeaderMap {
  public:
    using FieldMap = std::map<std::string, std::vector<std::string>, std::less<>>;

    THeaderMap() = default;
    // The map of these fields, each with at least one value, as adding them one by one gives.
    explicit THeaderMap(FieldMap fields) : fields_(std::move(fields)) {}

    // The values of a field; an absent key gives an empty list. Returned by value, so that
    // it outlives a temporary map (GetHeaders().Values(...)).
    std::vector<std::string> Values(const std::string& key) const {
        const auto it = fields_.find(key);
        return it == fields_.end() ? std::vector<std::string>{} : it->second;
    }
    // The same without a copy; valid as long as the map.
    std::span<const std::string> ValuesView(std::string_view key) const {
        const auto it = fields_.find(key);
        return it == fields_.end() ? std::span<const std::string>() : it->second;
    }
    void Add(const std::string& key, std::string value) {
        fields_[key].push_back(std::move(value));
    }
    bool Contains(const std::string& key) const { return fields_.count(key) != 0; }
    const FieldMap& Fields() const { return fields_; }

  private:
    FieldMap fields_;
};

// An error of the mailbox file as a whole rather than of one message: the system failed to read
// it (an I/O error of the disk), or it changed while it was read (cut short, compacted by another
// program). Nothing read from the file after it can be trusted: the run ends that mailbox with
// one report and counts the messages it did not reach as not converted.
class MailboxError : public Exception {
  public:
    using Exception::Exception;
};

// Where a message came from, for a view that keeps recovered messages apart.
enum class TMessageOrigin {
    Listed,     // the mailbox's index lists it, or a scan found it whole where the index lost it
    Recovered,  // deleted: rebuilt from blocks the mailbox had freed, some bytes lost
};

class TBasicMail {
  public:
    virtual ~TBasicMail() = default;

    // The getters hand out references that stay valid, unchanged, as long as the message:
    // a caller that wants to change a text copies it, which is what handing out copies did.
    virtual const THeaderMap& GetHeaders() const = 0;
    // The values of one field, exactly as GetHeaders().Values(key); a message may find them
    // without building the whole map.
    virtual std::vector<std::string> FieldValues(std::string_view key) const {
        const auto values = GetHeaders().ValuesView(key);
        return {values.begin(), values.end()};
    }
    // The same values decoded into UTF-8, keeping the characters that Shift_JIS lacks (for file
    // names); a message that cannot do better answers its Shift_JIS values in UTF-8.
    virtual std::vector<std::string> FieldValuesUtf8(std::string_view key) const {
        std::vector<std::string> values = FieldValues(key);
        for (std::string& value : values) {
            value = Cp932ToUtf8(value);
        }
        return values;
    }
    virtual const Lines& GetBodyLines() const = 0;
    virtual std::string GetBoundary() const = 0;
    // The whole message as stored, each stored line followed by CR LF.
    virtual const std::string& GetText() const = 0;
    // Whether GetText is known to end every line with CR LF already (the writer then need not
    // check it); a message that is not sure answers false.
    virtual bool TextInWrittenForm() const { return false; }
    // The header as the matcher searches it.
    virtual const std::string& GetHeaderText() const = 0;
    // The body lines, each followed by CR LF.
    virtual const std::string& GetBodyText() const = 0;
};

class TBasicMailParser {
  public:
    virtual ~TBasicMailParser() = default;

    // Number of messages; must be called before GetMail.
    virtual std::int32_t GetMailCount() = 0;
    // A newly built message for the 0-based index.
    virtual std::unique_ptr<TBasicMail> GetMail(std::int32_t index) = 0;
    // Things about the mailbox as a whole that are odd but cost nothing (a header count that
    // the index walk contradicts), UTF-8; known after GetMailCount.
    virtual std::vector<std::string> GetWarnings() const { return {}; }
    // How many messages the mailbox promises (its header's count) beyond those it delivers:
    // messages that damage lost. Known after GetMailCount.
    virtual std::int32_t GetMissingCount() const { return 0; }
    virtual TMessageOrigin GetOrigin(std::int32_t /*index*/) { return TMessageOrigin::Listed; }
};

// A mailbox file's stored messages, each as the lines of its stored text.
class TBasicMailReader {
  public:
    virtual ~TBasicMailReader() = default;

    // Number of messages; must be called before ReadMailLines.
    virtual std::int32_t GetMailCount() = 0;
    // The stored text of the message at the 0-based index, split into lines.
    virtual Lines ReadMailLines(std::int32_t index) = 0;
    // The same text before splitting, exactly as the mailbox holds it.
    virtual std::string ReadMailText(std::int32_t index) = 0;
    // As TBasicMailParser::GetWarnings, GetMissingCount and GetOrigin.
    virtual std::vector<std::string> GetWarnings() const { return {}; }
    virtual std::int32_t GetMissingCount() const { return 0; }
    virtual TMessageOrigin GetOrigin(std::int32_t /*index*/) { return TMessageOrigin::Listed; }
};

}  // namespace brindle
