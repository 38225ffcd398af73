#include "message/parsed_mailbox.hpp"

#include <utility>

#include "message/mail.hpp"

namespace brindle {

TParsedMailbox::TParsedMailbox(std::unique_ptr<TBasicMailReader> reader)
    : reader_(std::move(reader)) {}

std::unique_ptr<TBasicMail> TParsedMailbox::GetMail(std::int32_t index) {
    return TMail::FromStoredText(reader_->ReadMailText(index));
}

}  // namespace brindle
