// A mailbox whose messages are parsed as TMail: GetMail lives here, beside TMail, so that the
// readers of mailbox formats deliver stored text and know nothing of parsing.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/basic_mail.hpp"

namespace brindle {

class TParsedMailbox : public TBasicMailParser {
  public:
    explicit TParsedMailbox(std::unique_ptr<TBasicMailReader> reader);

    std::int32_t GetMailCount() override { return reader_->GetMailCount(); }
    // A TMail built from the reader's lines for the index; the reader's errors pass unchanged.
    std::unique_ptr<TBasicMail> GetMail(std::int32_t index) override;
    std::vector<std::string> GetWarnings() const override { return reader_->GetWarnings(); }
    std::int32_t GetMissingCount() const override { return reader_->GetMissingCount(); }
    TMessageOrigin GetOrigin(std::int32_t index) override { return reader_->GetOrigin(index); }

  private:
    std::unique_ptr<TBasicMailReader> reader_;
};

}  // namespace brindle
