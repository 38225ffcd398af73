// The user-visible texts that the mbox and Maildir outputs brought, in one place, so that they
// can move into the message catalogue together: the errors of the core and the command line's
// help and refusals.
#pragma once

namespace brindle::texts {

// Core errors; the path follows the first part and the second part follows it.
inline constexpr const char* kCannotMakeFolder = "フォルダ ";
inline constexpr const char* kCannotMakeFolderEnd = " を作成できません";
inline constexpr const char* kCannotReadMbox = "ファイル ";
inline constexpr const char* kCannotReadMboxEnd = " を読めません";

// brindle-cli convert.
inline constexpr const char* kFormatOptionHelp =
    "Output form: one .eml file per message (eml), one mbox file per mailbox (mbox, mboxrd) or "
    "one Maildir per mailbox (maildir)";
// Refusal of an option that an mbox or Maildir output leaves without effect; the option's name
// comes first.
inline constexpr const char* kUselessWithFormat =
    " は --format eml のときだけ使えます。mbox と maildir はメールボックスごとに一つ作ります。";

}  // namespace brindle::texts
