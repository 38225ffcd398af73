// A real .dbx reader that runs a hook before it builds each message: tests hold the run at a
// chosen message, or make one message fail, without depending on timing.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "mailbox/dbx_parser.hpp"
#include "message/parsed_mailbox.hpp"

namespace brindle::test {

class HookedMailbox final : public TBasicMailParser {
  public:
    HookedMailbox(const std::string& path, std::function<void(std::int32_t)> before)
        : inner_(std::make_unique<TParsedMailbox>(
              std::make_unique<TDBXParser>(std::filesystem::path(path)))),
          before_(std::move(before)) {}
    std::int32_t GetMailCount() override { return inner_->GetMailCount(); }
    std::unique_ptr<TBasicMail> GetMail(std::int32_t index) override {
        before_(index);
        return inner_->GetMail(index);
    }

  private:
    std::unique_ptr<TBasicMailParser> inner_;
    std::function<void(std::int32_t)> before_;
};

}  // namespace brindle::test
