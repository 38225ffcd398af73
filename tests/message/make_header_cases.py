#!/usr/bin/env python3
"""Writes header_cases.inc: folded Subject fields of every kind with the value Python's email
package reads from them, for header_decode_test.cpp. The tests do not need Python; run this
again (python3 tests/message/make_header_cases.py) only to change the cases.

The expected value is what a mail reader shows: the field unfolded as RFC 5322 says (line
breaks removed, the white space after them kept), read by email.header.decode_header and
make_header, converted to CP932 ('?' for what CP932 lacks) and trimmed of bytes <= 0x20 at
both ends.

Python's reading is followed where it is sound; the generator avoids the few shapes where it
is not, which the C++ tests cover by hand:
  - a word glued to plain text ("a=?utf-8?q?b?=c"): Python inserts blanks ("a b c");
  - us-ascii words: Python joins them to neighbouring plain text with an extra blank;
  - UTF-7 data split inside a Base64 run across words: each word here closes its own run;
  - unterminated words: Python leaves them raw, this program decodes them to the end;
  - raw 8-bit or raw JIS text outside words: Python reads text, not bytes.
"""
import base64
import email.header
import os
import random

JAPANESE = ["件名", "こんにちは", "日本語", "会議の資料", "確認をお願いします", "テスト",
            "株式会社", "東京", "カタカナ", "新年会のお知らせ", "見積書", "言"]
ASCII = ["Hello", "World", "Re:", "Fwd:", "meeting notes", "a=b", "x_y", "Q?A", "100%",
         "(2)", "[info]", "tab\there"]
LATIN = ["café", "naïve", "Zürich", "résumé"]

# charset label -> Python codec
CHARSETS = {
    "ISO-2022-JP": "iso-2022-jp",
    "iso-2022-jp": "iso-2022-jp",
    "Shift_JIS": "shift_jis",
    "EUC-JP": "euc-jp",
    "UTF-8": "utf-8",
    "utf-8": "utf-8",
    "UTF-7": "utf-7",
}
SAFE_Q = set(b"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789!*+-/")

rng = random.Random(20261207)


def q_encode(data):
    out = []
    for b in data:
        if b == 0x20:
            out.append(rng.choice(["_", "=20"]))
        elif b in SAFE_Q:
            out.append(chr(b))
        else:
            out.append(("=%02X" if rng.random() < 0.7 else "=%02x") % b)
    return "".join(out)


def word(data, charset, letter):
    text = base64.b64encode(data).decode() if letter in "Bb" else q_encode(data)
    return "=?%s?%s?%s?=" % (charset, letter, text)


def words_for(text, charset, letter, split=False):
    """One word, or two words holding the bytes split anywhere (a character may straddle)."""
    data = text.encode(CHARSETS[charset])
    if split and len(data) > 2 and CHARSETS[charset] != "utf-7":
        cut = rng.randrange(1, len(data))
        return [word(data[:cut], charset, letter), word(data[cut:], charset, letter)]
    return [word(data, charset, letter)]


def blank():
    return rng.choice([" ", " ", "  ", "\t", "\r\n ", "\r\n\t", " \r\n "])


def random_text(pool):
    return rng.choice(pool) + ("" if rng.random() < 0.5 else " " + rng.choice(pool))


def make_cases():
    cases = []
    # Plain ASCII folded at its blanks.
    for i in range(12):
        parts = [rng.choice(ASCII) for _ in range(rng.randint(2, 5))]
        cases.append(("plain folded %d" % i, "".join(p + blank() for p in parts[:-1]) + parts[-1]))
    # One word of every charset and encoding.
    for charset in CHARSETS:
        for letter in "BQ":
            pool = ASCII + JAPANESE if charset != "UTF-7" else JAPANESE
            text = random_text(pool)
            cases.append(("one %s %s" % (charset, letter), words_for(text, charset, letter)[0]))
    # Runs of words separated by blanks and folds, charsets and encodings mixed.
    for i in range(40):
        tokens = []
        for _ in range(rng.randint(2, 4)):
            charset = rng.choice(list(CHARSETS))
            letter = rng.choice("BQbq")
            tokens += words_for(random_text(JAPANESE + ASCII if charset != "UTF-7" else JAPANESE),
                                charset, letter, split=rng.random() < 0.3)
        cases.append(("words %d" % i, "".join(t + blank() for t in tokens[:-1]) + tokens[-1]))
    # Words among plain text, always with white space between the two.
    for i in range(30):
        tokens = []
        for _ in range(rng.randint(2, 5)):
            if rng.random() < 0.5:
                tokens.append(rng.choice(ASCII))
            else:
                charset = rng.choice(list(CHARSETS))
                tokens += words_for(rng.choice(JAPANESE), charset, rng.choice("BQ"),
                                    split=rng.random() < 0.2)
        cases.append(("mixed %d" % i, "".join(t + blank() for t in tokens[:-1]) + tokens[-1]))
    # A blank that a Q word carries at its end or start survives a fold.
    for charset in ["UTF-8", "ISO-2022-JP", "Shift_JIS", "EUC-JP"]:
        first = rng.choice(JAPANESE) + " "
        second = " " + rng.choice(JAPANESE)
        cases.append(("blank inside words %s" % charset,
                      word(first.encode(CHARSETS[charset]), charset, "Q") + "\r\n " +
                      word(second.encode(CHARSETS[charset]), charset, "Q")))
    cases.append(("hello world", "=?utf-8?Q?Hello_?=\r\n =?utf-8?Q?World?="))
    # Other charsets, their characters outside CP932 included.
    for text in LATIN:
        cases.append(("latin %s" % text, "Re: " + word(text.encode("iso-8859-1"), "ISO-8859-1",
                                                     rng.choice("BQ")) + " ok"))
    # Zero bytes inside words, and empty words.
    cases.append(("zero byte", "=?UTF-8?Q?a=00b?= tail"))
    cases.append(("zero byte B", "=?UTF-8?B?%s?=" % base64.b64encode(b"x\0y").decode()))
    cases.append(("empty words", "=?UTF-8?Q??= =?UTF-8?B??= x"))
    return cases


def expected(value):
    unfolded = value.replace("\r\n", "")
    text = str(email.header.make_header(email.header.decode_header(unfolded)))
    data = text.encode("cp932", errors="replace")
    start, end = 0, len(data)
    while start < end and data[start] <= 0x20:
        start += 1
    while end > start and data[end - 1] <= 0x20:
        end -= 1
    return data[start:end]


def cpp(data):
    if isinstance(data, str):
        data = data.encode("utf-8")
    out = ['"']
    previous = None
    for b in data:
        # "??" could start a trigraph, which the compiler warns about.
        if 0x20 <= b < 0x7F and b not in (0x22, 0x5C) and not (b == 0x3F and previous == 0x3F):
            out.append(chr(b))
        else:
            out.append("\\%03o" % b)
        previous = b
    out.append('"')
    return "".join(out)


def main():
    lines = ["// Generated by make_header_cases.py from Python's email package; do not edit.",
             "// {name, lines of the Subject field after \"Subject:\", expected Shift_JIS value}"]
    for name, value in make_cases():
        field = [cpp(part) for part in value.split("\r\n")]
        lines.append("{%s, {%s}, std::string(%s, %d)}," %
                     (cpp(name), ", ".join(field), cpp(expected(value)), len(expected(value))))
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "header_cases.inc")
    with open(path, "w", encoding="ascii") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
