#include "convert/mail_writer.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "convert/fake_mail.hpp"
#include "convert/safe_file_name.hpp"
#include "message/mail.hpp"
#include "platform/exception.hpp"
#include "platform/file_system.hpp"
#include "support/temp_dir.hpp"

namespace brindle {
namespace {

namespace fs = std::filesystem;
using test::FakeMail;
using test::SubjectMail;

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Folder(const test::TempDir& dir) {
    return dir.path().string() + "/";
}

std::string NameOf(const std::string& path) {
    return fs::path(path).filename().string();
}

TNamingRule Rule(TNamingType type, std::string param = {}, TNamingPos pos = TNamingPos::Body,
                 TNamingLine line = TNamingLine::SameLine) {
    return TNamingRule{type, PrepareParamText(param, pos), pos, line};
}

TEST(WriteMail, RunningNumbersSkipTakenNames) {
    test::TempDir dir;
    std::ofstream(dir / "1.eml") << "keep";
    TNamingState state;
    const auto rule = Rule(TNamingType::Number);
    const FakeMail mail = SubjectMail("x");
    std::vector<std::string> names;
    for (int i = 0; i < 3; ++i) {
        names.push_back(NameOf(WriteMail(state, rule, mail, Folder(dir))));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"0.eml", "2.eml", "3.eml"}));
    EXPECT_EQ(state.running_number, 4);
    EXPECT_EQ(ReadAll(dir / "1.eml"), "keep");
}

TEST(WriteMail, SubjectDuplicatesCountPerBaseAcrossFolders) {
    test::TempDir dir;
    fs::create_directory(dir / "one");
    fs::create_directory(dir / "two");
    const std::string one = Folder(dir) + "one/";
    const std::string two = Folder(dir) + "two/";
    TNamingState state;
    const auto rule = Rule(TNamingType::Subject);
    const FakeMail mail = SubjectMail("Re: a/b");

    EXPECT_EQ(NameOf(WriteMail(state, rule, mail, one)), "Re： a／b.eml");
    EXPECT_EQ(NameOf(WriteMail(state, rule, mail, one)), "Re： a／b(0).eml");
    std::ofstream(one + "Re： a／b(1).eml") << "someone else's";
    EXPECT_EQ(NameOf(WriteMail(state, rule, mail, one)), "Re： a／b(2).eml");
    EXPECT_EQ(ReadAll(one + "Re： a／b(1).eml"), "someone else's");
    EXPECT_EQ(state.duplicate_counters.at("Re： a／b").next, 3);

    // In a fresh folder the plain name is free, then the run's counter carries on.
    EXPECT_EQ(NameOf(WriteMail(state, rule, mail, two)), "Re： a／b.eml");
    EXPECT_EQ(NameOf(WriteMail(state, rule, mail, two)), "Re： a／b(3).eml");
    // A different base has a counter of its own.
    EXPECT_EQ(NameOf(WriteMail(state, rule, SubjectMail("c"), two)), "c.eml");
    EXPECT_EQ(NameOf(WriteMail(state, rule, SubjectMail("c"), two)), "c(0).eml");
}

TEST(WriteMail, SubjectValuesAreJoinedAndMissingSubjectIsUntitled) {
    test::TempDir dir;
    TNamingState state;
    const auto rule = Rule(TNamingType::Subject);
    FakeMail two_values = SubjectMail("\x93\xFA\x96\x7B");  // 日本
    two_values.Header("SUBJECT:", "\x8C\xEA");              // 語
    EXPECT_EQ(NameOf(WriteMail(state, rule, two_values, Folder(dir))), "日本語.eml");

    const FakeMail none = FakeMail().Text("From: a\r\n\r\n");
    EXPECT_EQ(NameOf(WriteMail(state, rule, none, Folder(dir))), "無題.eml");
    EXPECT_EQ(NameOf(WriteMail(state, rule, none, Folder(dir))), "無題(0).eml");
    EXPECT_EQ(NameOf(WriteMail(state, rule, SubjectMail(".hidden"), Folder(dir))), "．hidden.eml");
    // CR LF left inside a subject by a Q word does not reach the name.
    EXPECT_EQ(NameOf(WriteMail(state, rule, SubjectMail("a\r\nb"), Folder(dir))), "ab.eml");
}

TEST(WriteMail, NamesKeepEveryCharacterAndJapaneseNamesStayAsTheyWere) {
    struct Case {
        std::string header;  // stored header lines
        std::string name;
    };
    const Case cases[] = {
        {"Subject: =?UTF-8?Q?Caf=C3=A9_cr=C3=A8me_=C3=A0_la_fran=C3=A7aise?=",
         "Café crème à la française.eml"},
        {"Subject: =?UTF-8?B?7ZWc6rWt7Ja0IOyEnOyLoCDwn5iA?=", "한국어 서신 😀.eml"},
        {"Subject: =?ks_c_5601-1987?B?x9Gxub7u?=", "한국어.eml"},
        // Made safe character by character, whatever script the others are in.
        {"Subject: =?UTF-8?Q?r=C3=A9sum=C3=A9_a/b:c=3F?=", "résumé a／b：c？.eml"},
        // Japanese and what Shift_JIS can hold: the names of before, 〜 as ～ included.
        {"Subject: =?ISO-2022-JP?B?GyRCRnxLXDhsGyhC?=", "日本語.eml"},
        {"Subject: =?UTF-8?B?44Gm44GZ44Go44CcMQ==?=", "てすと～1.eml"},
        {"X-Order: =?UTF-8?Q?N=C2=BA_=E2=82=AC5?=", "Nº €5.eml"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        TNamingState state;
        const auto mail = TMail::FromStoredText(c.header + "\r\n\r\nbody\r\n");
        const TNamingRule rule = c.header.starts_with("X-Order")
                                     ? Rule(TNamingType::Parameter, "X-Order", TNamingPos::Header)
                                     : Rule(TNamingType::Subject);
        EXPECT_EQ(NameOf(WriteMail(state, rule, *mail, Folder(dir))), c.name);
    }
}

TEST(WriteMail, VeryLongSubjectsFitAndStillCountDuplicates) {
    test::TempDir dir;
    TNamingState state;
    const auto rule = Rule(TNamingType::Subject);
    std::string subject;
    for (int i = 0; i < 200; ++i) {
        subject += "\x8A\xBF";  // 漢
    }
    const std::string first = NameOf(WriteMail(state, rule, SubjectMail(subject), Folder(dir)));
    const std::string second = NameOf(WriteMail(state, rule, SubjectMail(subject), Folder(dir)));
    EXPECT_LE(first.size(), kMaxFileNameBytes);
    EXPECT_LE(second.size(), kMaxFileNameBytes);
    EXPECT_EQ(second, first.substr(0, first.size() - 4) + "(0).eml");
    EXPECT_TRUE(fs::exists(dir / first));
    EXPECT_TRUE(fs::exists(dir / second));
}

FakeMail OrderMail() {
    return FakeMail()
        .Header("X-ORDER-ID:", "12")
        .Header("X-ORDER-ID:", "34")
        .Body({"Dear customer", "order: lower", "Order: 1234", "Order:", "5678", "Order: 99"})
        .Text("X-Order-Id: 12\r\n\r\nOrder: 1234\r\n");
}

TEST(FindParameterValue, BodyPlaceSameAndNextLine) {
    const FakeMail mail = OrderMail();
    // The first line that begins with the marker decides; the rest of it is kept untrimmed.
    EXPECT_EQ(FindParameterValue(Rule(TNamingType::Parameter, "Order:"), mail), " 1234");
    EXPECT_EQ(
        FindParameterValue(
            Rule(TNamingType::Parameter, "Order:", TNamingPos::Body, TNamingLine::NextLine), mail),
        "Order:");
    EXPECT_EQ(FindParameterValue(Rule(TNamingType::Parameter, "Order:\x20\x39"), mail), "9");
    EXPECT_EQ(FindParameterValue(Rule(TNamingType::Parameter, "ORDER:"), mail), "");

    // The marker on the last line with "next line" gives an empty value.
    const FakeMail last = FakeMail().Body({"a", "ID:"});
    EXPECT_EQ(
        FindParameterValue(
            Rule(TNamingType::Parameter, "ID:", TNamingPos::Body, TNamingLine::NextLine), last),
        "");
}

TEST(FindParameterValue, HeaderPlaceJoinsValuesOfTheKey) {
    const FakeMail mail = OrderMail();
    for (const char* marker : {"x-order-id", "X-Order-Id:", "X-ORDER-ID:"}) {
        for (const auto line : {TNamingLine::SameLine, TNamingLine::NextLine}) {
            EXPECT_EQ(FindParameterValue(
                          Rule(TNamingType::Parameter, marker, TNamingPos::Header, line), mail),
                      "1234")
                << marker;
        }
    }
    EXPECT_EQ(FindParameterValue(Rule(TNamingType::Parameter, "X-None", TNamingPos::Header), mail),
              "");
}

TEST(PrepareParamText, HeaderKeyFormLeavesDoubleByteCharactersAlone) {
    EXPECT_EQ(PrepareParamText("x-id", TNamingPos::Header), "X-ID:");
    EXPECT_EQ(PrepareParamText("x-id:", TNamingPos::Header), "X-ID:");
    // The trail byte 'a' of 0x83 0x61 is not a letter to upper-case.
    EXPECT_EQ(PrepareParamText("\x83\x61x", TNamingPos::Header), "\x83\x61X:");
    EXPECT_EQ(PrepareParamText("x-id", TNamingPos::Body), "x-id");
}

TEST(WriteMail, ParameterNamesTheFile) {
    test::TempDir dir;
    TNamingState state;
    const FakeMail mail = OrderMail();
    EXPECT_EQ(NameOf(WriteMail(state, Rule(TNamingType::Parameter, "Order:"), mail, Folder(dir))),
              " 1234.eml");
    EXPECT_EQ(
        NameOf(WriteMail(state, Rule(TNamingType::Parameter, "x-order-id", TNamingPos::Header),
                         mail, Folder(dir))),
        "1234.eml");
    EXPECT_EQ(NameOf(WriteMail(state, Rule(TNamingType::Parameter, "Absent:"), mail, Folder(dir))),
              "無題.eml");
}

TEST(NormalizeLineEnds, EveryLineEndsWithCrLf) {
    EXPECT_EQ(NormalizeLineEnds("a\r\nb\r\n"), "a\r\nb\r\n");
    EXPECT_EQ(NormalizeLineEnds("a\nb"), "a\r\nb\r\n");
    EXPECT_EQ(NormalizeLineEnds("a\rb\r"), "a\r\nb\r\n");
    EXPECT_EQ(NormalizeLineEnds("a\n\rb"), "a\r\n\r\nb\r\n");
    EXPECT_EQ(NormalizeLineEnds("a\r\nb"), "a\r\nb\r\n");
    EXPECT_EQ(NormalizeLineEnds("\r\n\r\n"), "\r\n\r\n");
    EXPECT_EQ(NormalizeLineEnds("a\rb\r\n"), "a\r\nb\r\n");
    EXPECT_EQ(NormalizeLineEnds("x\r\n\n"), "x\r\n\r\n");
    EXPECT_EQ(NormalizeLineEnds("x\r\n\r"), "x\r\n\r\n");
    EXPECT_EQ(NormalizeLineEnds(""), "");
    EXPECT_EQ(NormalizeLineEnds(std::string("a\0b\r\n", 5)), std::string("a\0b\r\n", 5));
}

TEST(WriteMail, WritesTheStoredTextWithCrLf) {
    test::TempDir dir;
    TNamingState state;
    const FakeMail mail = FakeMail().Text("Subject: x\n\nline\rlast");
    const std::string path = WriteMail(state, Rule(TNamingType::Number), mail, Folder(dir));
    EXPECT_EQ(ReadAll(path), "Subject: x\r\n\r\nline\r\nlast\r\n");
    const std::string empty = WriteMail(state, Rule(TNamingType::Number), FakeMail(), Folder(dir));
    EXPECT_EQ(fs::file_size(empty), 0u);
}

TEST(WriteMail, ModificationTimeFollowsTheDateField) {
    test::TempDir dir;
    TNamingState state;
    const auto rule = Rule(TNamingType::Number);
    const FakeMail dated = SubjectMail("x").Header("DATE:", "Sat, 5 Apr 2003 15:07:08 +0900 (JST)");
    const FakeMail undated = SubjectMail("x").Header("DATE:", "someday");
    struct stat st {};
    const std::string a = WriteMail(state, rule, dated, Folder(dir));
    ASSERT_EQ(::stat(a.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1049522828);
    const std::string b = WriteMail(state, rule, undated, Folder(dir));
    ASSERT_EQ(::stat(b.c_str(), &st), 0);
    EXPECT_GT(st.st_mtim.tv_sec, 1600000000);  // left as written: now
}

TEST(WriteMail, FullDiskLeavesNoFileAndRaises) {
    test::TempDir dir;
    TNamingState state;
    const FakeMail mail = SubjectMail(std::string(100, 'x')).Text(std::string(10000, 'y') + "\r\n");
    {
        ScopedWriteFunction full(DiskFullAfter(4096));
        EXPECT_THROW(WriteMail(state, Rule(TNamingType::Subject), mail, Folder(dir)), Exception);
    }
    EXPECT_TRUE(fs::is_empty(dir.path()));
    // With room again the same name is free: no half file took it.
    EXPECT_EQ(NameOf(WriteMail(state, Rule(TNamingType::Subject), mail, Folder(dir))),
              std::string(100, 'x') + ".eml");
}

TEST(WriteMail, UnwritableFolderRaisesCreationError) {
    test::TempDir dir;
    TNamingState state;
    const std::string folder = Folder(dir) + "missing/";
    try {
        WriteMail(state, Rule(TNamingType::Subject), SubjectMail("s"), folder);
        FAIL() << "expected an error";
    } catch (const Exception& e) {
        EXPECT_EQ(std::string(e.what()), "ファイル " + folder + "s.eml を作成できません");
    }
}

// Records the raw value of every header field it decodes.
class RecordingConverter : public TMailConverter {
  public:
    explicit RecordingConverter(std::vector<std::string>& decoded) : decoded_(decoded) {}
    std::string DecodeHeader(std::string_view value) const override {
        decoded_.emplace_back(value);
        return TMailConverter::DecodeHeader(value);
    }
    std::string DecodeHeaderUtf8(std::string_view value) const override {
        decoded_.emplace_back(value);
        return TMailConverter::DecodeHeaderUtf8(value);
    }

  private:
    std::vector<std::string>& decoded_;
};

TEST(WriteMail, NamingBySubjectDecodesOnlySubjectAndDate) {
    test::TempDir dir;
    TNamingState state;
    std::vector<std::string> decoded;
    const auto mail = TMail::FromStoredText(
        "From: a@example.jp\r\nSubject: s\r\nDate: Sat, 5 Apr 2003 15:07:08 +0900\r\n"
        "To: b@example.jp\r\n\r\nbody\r\n",
        std::make_unique<RecordingConverter>(decoded));
    const std::string path = WriteMail(state, Rule(TNamingType::Subject), *mail, Folder(dir));
    EXPECT_EQ(NameOf(path), "s.eml");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1049522828);
    EXPECT_EQ(decoded, (std::vector<std::string>{" s", " Sat, 5 Apr 2003 15:07:08 +0900"}));
}

}  // namespace
}  // namespace brindle
