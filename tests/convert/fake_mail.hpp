// Messages and mailboxes made in code, so the naming and the run are tested without the .dbx
// reader or the MIME parser. A FakeMail's header map holds exactly the values a test gives it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "model/basic_mail.hpp"
#include "platform/exception.hpp"
#include "platform/line_list.hpp"
#include "platform/report.hpp"

namespace brindle::test {

class FakeMail : public TBasicMail {
  public:
    FakeMail() = default;
    FakeMail& Header(const std::string& key, std::string value) {
        headers_.Add(key, std::move(value));
        return *this;
    }
    FakeMail& Body(Lines lines) {
        body_ = std::move(lines);
        body_text_ = JoinLines(body_);
        return *this;
    }
    FakeMail& Text(std::string text) {
        text_ = std::move(text);
        return *this;
    }

    const THeaderMap& GetHeaders() const override { return headers_; }
    const Lines& GetBodyLines() const override { return body_; }
    std::string GetBoundary() const override { return {}; }
    const std::string& GetText() const override { return text_; }
    const std::string& GetHeaderText() const override { return header_text_; }
    const std::string& GetBodyText() const override { return body_text_; }

  private:
    THeaderMap headers_;
    Lines body_;
    std::string body_text_;
    std::string text_;
    std::string header_text_;
};

// A mailbox of FakeMails. Messages listed in bad_ throw from GetMail; a failing count throws
// from GetMailCount, as an unreadable file does.
class FakeMailbox : public TBasicMailParser {
  public:
    explicit FakeMailbox(std::vector<FakeMail> mails) : mails_(std::move(mails)) {}
    FakeMailbox& FailAt(std::int32_t index) {
        bad_.insert(index);
        return *this;
    }
    FakeMailbox& FailCount() {
        fail_count_ = true;
        return *this;
    }
    // GetMail raises this warning through the reporting hook, as the parser does for a header
    // value that fails to decode.
    FakeMailbox& WarnAt(std::int32_t index, std::string warning) {
        warnings_[index] = std::move(warning);
        return *this;
    }
    FakeMailbox& Count(std::int32_t count) {
        count_ = count;
        return *this;
    }

    std::int32_t GetMailCount() override {
        if (fail_count_) {
            throw Exception("ファイルが開けません。");
        }
        return count_.value_or(static_cast<std::int32_t>(mails_.size()));
    }
    std::unique_ptr<TBasicMail> GetMail(std::int32_t index) override {
        if (bad_.count(index) != 0) {
            throw Exception("メールの読み取りに失敗しました。(3)");
        }
        if (const auto it = warnings_.find(index); it != warnings_.end()) {
            RaiseWarning(it->second);
        }
        return std::make_unique<FakeMail>(mails_.at(static_cast<std::size_t>(index)));
    }

  private:
    std::vector<FakeMail> mails_;
    std::set<std::int32_t> bad_;
    std::map<std::int32_t, std::string> warnings_;
    bool fail_count_ = false;
    std::optional<std::int32_t> count_;
};

// A message "Subject: <subject>" with a one-line body, in stored form.
inline FakeMail SubjectMail(const std::string& subject) {
    return FakeMail()
        .Header("SUBJECT:", subject)
        .Body({"body"})
        .Text("Subject: " + subject + "\r\n\r\nbody\r\n");
}

}  // namespace brindle::test
