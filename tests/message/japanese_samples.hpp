// Japanese sample texts shared by the message tests, as Shift_JIS (the program's internal
// text) and in the encodings mail carries them.
#pragma once

#include <string>

namespace brindle::samples {

// こんにちは
inline const std::string kKonnichiwa = "\x82\xB1\x82\xF1\x82\xC9\x82\xBF\x82\xCD";
inline const std::string kKonnichiwaJis = "\x1B$B$3$s$K$A$O\x1B(B";
inline const std::string kKonnichiwaEuc = "\xA4\xB3\xA4\xF3\xA4\xCB\xA4\xC1\xA4\xCF";
inline const std::string kKonnichiwaUtf8 =
    "\xE3\x81\x93\xE3\x82\x93\xE3\x81\xAB\xE3\x81\xA1\xE3\x81\xAF";
// 日本語
inline const std::string kNihongo = "\x93\xFA\x96{\x8C\xEA";
inline const std::string kNihongoJis = "\x1B$BF|K\\8l\x1B(B";
// 本文です
inline const std::string kHonbun = "\x96{\x95\xB6\x82\xC5\x82\xB7";
inline const std::string kHonbunJis = "\x1B$BK\\J8$G$9\x1B(B";
// 送信者
inline const std::string kSoushinsha = "\x91\x97\x90M\x8E\xD2";

}  // namespace brindle::samples
