// The run over real .dbx files: mailboxes built in code with the test builder, read by
// TDBXParser, parsed by TMail, named and written; and the real mailboxes of the corpus.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "convert/conversion_run.hpp"
#include "mailbox/dbx_parser.hpp"
#include "platform/file_system.hpp"
#include "platform/line_list.hpp"
#include "platform/report.hpp"
#include "support/dbx_builder.hpp"
#include "support/temp_dir.hpp"

namespace brindle {
namespace {

namespace fs = std::filesystem;
using test::DbxBuilder;

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::set<std::string> Names(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

struct Outcome {
    TConvertSummary summary;
    std::vector<std::string> errors;
    std::vector<std::string> warnings;
    std::vector<std::string> reasons;  // of the files that failed
};

Outcome Convert(TConvertJob job) {
    Outcome outcome;
    TConvertEvents events;
    events.message_failed = [&](const std::string& p, std::int32_t j, const std::string& e,
                                const std::string&) {
        outcome.errors.push_back(fs::path(p).filename().string() + "#" + std::to_string(j) + ":" +
                                 e);
    };
    events.file_failed = [&](const std::string& p, const std::string& e, const std::string& r) {
        outcome.errors.push_back(fs::path(p).filename().string() + ":" + e);
        outcome.reasons.push_back(r);
    };
    events.file_warning = [&](const std::string&, const std::string& w) {
        outcome.warnings.push_back(w);
    };
    TConvertRun run(std::move(job), std::move(events));
    outcome.summary = run.Run();
    return outcome;
}

TConvertJob SubjectJob(const test::TempDir& dir, std::vector<std::string> sources) {
    TConvertJob job;
    job.sources = std::move(sources);
    job.destination = (dir / "out").string();
    fs::create_directories(job.destination);
    job.naming.type = TNamingType::Subject;
    return job;
}

TEST(ConvertDbx, JapaneseSubjectsInEveryEncodingNameTheFiles) {
    test::TempDir dir;
    DbxBuilder()
        .AddMessage("Subject: =?ISO-2022-JP?B?GyRCRnxLXDhsGyhC?=\r\n\r\njis\r\n")
        .AddMessage("Subject: \x95\x5C\x8E\xA6\r\n\r\nsjis\r\n")  // 表示, trail byte 0x5C
        .AddMessage("Subject: =?EUC-JP?B?xvzL3Ljs?= euc\r\n\r\neuc\r\n")
        .AddMessage("Subject: =?UTF-8?B?5pel5pys6Kqe?= b\r\n\r\nutf8\r\n")
        .AddMessage("Subject: =?UTF-8?Q?=E6=97=A5=E6=9C=AC=E8=AA=9E?= q\r\n\r\nutf8\r\n")
        .AddMessage("Subject: =?UTF-7?Q?+ZeVnLIqe-?= 7\r\n\r\nutf7\r\n")
        .AddMessage(
            "Subject: =?ISO-2022-JP?B?GyRCQTBIPhsoQg==?=\r\n"
            " =?ISO-2022-JP?B?GyRCOGVIPhsoQg==?=\r\n\r\nfolded\r\n")
        .AddMessage("Subject: one\r\nSubject: two\r\n\r\nrepeated\r\n")
        .AddMessage("Subject: a\\b/c:d*e?f\"g<h>i|j;k\r\n\r\nforbidden\r\n")
        .AddMessage("Subject: =?ISO-2022-JP?Q?x=0D=0Ay?=\r\n\r\ncrlf\r\n")
        .AddMessage("From: nobody\r\n\r\nno subject\r\n")
        .AddMessage("Subject: \r\n\r\nempty subject\r\n")
        .WriteTo(dir / "in.dbx");
    const Outcome outcome = Convert(SubjectJob(dir, {(dir / "in.dbx").string()}));
    EXPECT_TRUE(outcome.errors.empty()) << outcome.errors.front();
    EXPECT_EQ(outcome.summary.messages_written, 12);
    EXPECT_EQ(Names(dir / "out"), (std::set<std::string>{
                                      "日本語.eml",
                                      "表示.eml",
                                      "日本語 euc.eml",
                                      "日本語 b.eml",
                                      "日本語 q.eml",
                                      "日本語 7.eml",
                                      "前半後半.eml",
                                      "onetwo.eml",
                                      "a￥b／c：d＊e？f￥g＜h＞i｜j；k.eml",
                                      "xy.eml",
                                      "無題.eml",
                                      "無題(0).eml",
                                  }));
}

TEST(ConvertDbx, WrittenFileIsTheStoredTextWithCrLf) {
    test::TempDir dir;
    const std::string multipart =
        "Subject: mp\r\nContent-Type: multipart/mixed; boundary=\"XX\"\r\n\r\n"
        "--XX\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: base64\r\n"
        "\r\n44GT44KT44Gr44Gh44GvDQrms6jmlofnlarlj7c6IDEyMzQNCg==\r\n--XX--\r\n";
    DbxBuilder()
        .AddMessage("Subject: lf\nX: 1\n\nline\nlast", {7, 5})
        .AddMessage(multipart, {64})
        .AddMessage("")
        .WriteTo(dir / "in.dbx");
    TConvertJob job = SubjectJob(dir, {(dir / "in.dbx").string()});
    job.naming.type = TNamingType::Number;
    const Outcome outcome = Convert(std::move(job));
    EXPECT_EQ(outcome.summary.messages_written, 3);
    EXPECT_EQ(ReadAll(dir / "out" / "0.eml"), "Subject: lf\r\nX: 1\r\n\r\nline\r\nlast\r\n");
    EXPECT_EQ(ReadAll(dir / "out" / "1.eml"), multipart);
    EXPECT_TRUE(fs::exists(dir / "out" / "2.eml"));
    EXPECT_EQ(fs::file_size(dir / "out" / "2.eml"), 0u);
}

TEST(ConvertDbx, ParameterInADecodedBodyAndInTheHeader) {
    test::TempDir dir;
    const std::string mail =
        "Subject: order\r\nX-Order-Id: A-7\r\nContent-Type: text/plain; charset=utf-8\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\n"
        "44GT44KT44Gr44Gh44GvDQrms6jmlofnlarlj7c6IDEyMzQNCg==\r\n";
    DbxBuilder().AddMessage(mail).AddMessage(mail).WriteTo(dir / "in.dbx");
    const std::string marker = "\x92\x8D\x95\xB6\x94\xD4\x8D\x86:";  // 注文番号: in Shift_JIS
    struct Case {
        TNamingPos pos;
        TNamingLine line;
        std::string param;
        std::set<std::string> names;
    };
    const std::vector<Case> cases{
        {TNamingPos::Body, TNamingLine::SameLine, marker, {" 1234.eml", " 1234(0).eml"}},
        {TNamingPos::Body, TNamingLine::NextLine, marker, {"無題.eml", "無題(0).eml"}},
        {TNamingPos::Body,
         TNamingLine::NextLine,
         "\x82\xB1\x82\xF1",
         {"注文番号： 1234.eml", "注文番号： 1234(0).eml"}},
        {TNamingPos::Header, TNamingLine::SameLine, "x-order-id", {"A-7.eml", "A-7(0).eml"}},
        {TNamingPos::Header, TNamingLine::NextLine, "X-Order-Id:", {"A-7.eml", "A-7(0).eml"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.param);
        test::TempDir run_dir;
        TConvertJob job = SubjectJob(run_dir, {(dir / "in.dbx").string()});
        job.naming = TNamingRule{TNamingType::Parameter, c.param, c.pos, c.line};
        const Outcome outcome = Convert(std::move(job));
        EXPECT_TRUE(outcome.errors.empty());
        EXPECT_EQ(Names(run_dir / "out"), c.names);
    }
}

TEST(ConvertDbx, MailboxThatShrinksDuringTheRunKeepsWhatWasWrittenWhole) {
    // Cut to a third after the fourth message is done, one message after the other and with
    // reading ahead: what was written is whole, nothing is written empty, the rest is lost.
    constexpr int kMessages = 40;
    for (const bool read_ahead : {false, true}) {
        SCOPED_TRACE(read_ahead);
        test::TempDir dir;
        DbxBuilder builder;
        for (int i = 0; i < kMessages; ++i) {
            builder.AddMessage("Subject: m" + std::to_string(i) + "\r\n\r\n" +
                               std::string(900, static_cast<char>('a' + i % 26)) + "\r\n");
        }
        const fs::path box = dir / "box.dbx";
        builder.WriteTo(box);
        TConvertJob job = SubjectJob(dir, {box.string()});
        std::vector<std::string> errors;
        TConvertEvents events;
        events.message_done = [&](std::int32_t j) {
            if (j == 3) {
                fs::resize_file(box, fs::file_size(box) / 3);
            }
        };
        events.file_failed = [&](const std::string&, const std::string& e, const std::string&) {
            errors.push_back(e);
        };
        TConvertRun run(std::move(job), std::move(events));
        run.SetReadAhead(read_ahead);
        const TConvertSummary summary = run.Run();
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_NE(errors[0].find("変更"), std::string::npos) << errors[0];
        EXPECT_GE(summary.messages_written, 4);
        EXPECT_EQ(summary.messages_written + summary.messages_lost, kMessages);
        for (const std::string& name : Names(dir / "out")) {
            const std::string i = name.substr(1, name.size() - 5);
            EXPECT_EQ(ReadAll(dir / "out" / name),
                      "Subject: m" + i + "\r\n\r\n" +
                          std::string(900, static_cast<char>('a' + std::stoi(i) % 26)) + "\r\n");
        }
    }
}

TEST(ConvertDbx, RecoveredMessagesGoApartAndAMailboxIsConvertedOnce) {
    test::TempDir dir;
    DbxBuilder()
        .AddMessage("Subject: kept\r\n\r\n1\r\n")
        .AddMessage("Received: x\r\nSubject: gone\r\n\r\n2\r\n")  // its first 4 bytes are lost
        .DeleteMessage(1)
        .HeaderCount(1)
        .WriteTo(dir / "box.dbx");
    fs::create_symlink(dir / "box.dbx", dir / "link.dbx");
    fs::create_hard_link(dir / "box.dbx", dir / "hard.dbx");
    TConvertJob job =
        SubjectJob(dir, {(dir / "box.dbx").string(), (dir / "link.dbx").string(),
                         (dir / "hard.dbx").string(), (dir / "." / "box.dbx").string()});
    job.salvage = true;
    const Outcome outcome = Convert(std::move(job));
    EXPECT_TRUE(outcome.errors.empty());
    EXPECT_EQ(Names(dir / "out"), (std::set<std::string>{"kept.eml", "recovered"}));
    EXPECT_EQ(Names(dir / "out" / "recovered"), (std::set<std::string>{"gone.eml"}));
    EXPECT_EQ(std::count_if(outcome.warnings.begin(), outcome.warnings.end(),
                            [](const std::string& w) { return w.find("変換済み") != w.npos; }),
              3);
    EXPECT_EQ(outcome.summary.messages_written, 2);
}

TEST(ConvertDbx, UpdateAfterAStopGivesTheFilesOfOneRunAndAddsNothingTwice) {
    // Repeated subjects, so that the counters of "(n)" names matter too.
    test::TempDir dir;
    DbxBuilder builder;
    for (int i = 0; i < 30; ++i) {
        builder.AddMessage("Subject: s" + std::to_string(i % 4) + "\r\n\r\n" + std::to_string(i) +
                           "\r\n");
    }
    builder.WriteTo(dir / "box.dbx");
    const auto contents = [](const fs::path& folder) {
        std::map<std::string, std::string> files;
        for (const std::string& name : Names(folder)) {
            files[name] = ReadAll(folder / name);
        }
        return files;
    };
    for (const TNamingType type : {TNamingType::Number, TNamingType::Subject}) {
        SCOPED_TRACE(static_cast<int>(type));
        const auto run = [&](const std::string& out, bool update, int stop_after) {
            TConvertJob job;
            job.sources = {(dir / "box.dbx").string()};
            job.destination = (dir / out).string();
            fs::create_directories(job.destination);
            job.naming.type = type;
            job.update = update;
            TConvertEvents events;
            TConvertRun* self = nullptr;
            events.message_done = [&](std::int32_t j) {
                if (j + 1 == stop_after) {
                    self->RequestStop();
                }
            };
            TConvertRun converter(std::move(job), std::move(events));
            self = &converter;
            return converter.Run();
        };
        const std::string n = std::to_string(static_cast<int>(type));
        run("whole" + n, false, -1);
        const TConvertSummary stopped = run("resumed" + n, false, 11);
        EXPECT_TRUE(stopped.stopped);
        const TConvertSummary resumed = run("resumed" + n, true, -1);
        EXPECT_EQ(resumed.messages_skipped, stopped.messages_written);
        EXPECT_EQ(resumed.messages_written, 30 - stopped.messages_written);
        EXPECT_EQ(contents(dir / ("resumed" + n)), contents(dir / ("whole" + n)));
        const TConvertSummary again = run("whole" + n, true, -1);
        EXPECT_EQ(again.messages_skipped, 30);
        EXPECT_EQ(again.messages_written, 0);
        EXPECT_EQ(Names(dir / ("whole" + n)).size(), 30u);
    }
}

TEST(ConvertDbx, FilteringSharedByBothStagesGivesWhatOneStageGives) {
    test::TempDir dir;
    DbxBuilder builder;
    for (int i = 0; i < 40; ++i) {
        builder.AddMessage("Subject: s" + std::to_string(i) + "\r\n\r\n" + std::to_string(i) +
                           "\r\n");
    }
    builder.WriteTo(dir / "box.dbx");
    // Accepts even numbers, warns on multiples of 5, fails on multiples of 7; counts its calls.
    const auto make_filter = [](std::shared_ptr<int> calls) -> TMailFilter {
        return [calls](const TBasicMail& mail) {
            ++*calls;
            const int n = std::stoi(mail.FieldValues("SUBJECT:").front().substr(1));
            if (n % 5 == 0) {
                RaiseWarning("five " + std::to_string(n));
            }
            if (n % 7 == 0) {
                throw Exception("seven " + std::to_string(n));
            }
            return n % 2 == 0;
        };
    };
    const auto run = [&](const std::string& out, bool shared, std::shared_ptr<int> second) {
        TConvertJob job = SubjectJob(dir, {(dir / "box.dbx").string()});
        job.destination = (dir / out).string();
        fs::create_directories(job.destination);
        job.filter = make_filter(std::make_shared<int>(0));
        if (shared) {
            job.make_filter = [&] { return make_filter(second); };
        }
        std::vector<std::string> events;
        TConvertEvents on;
        on.message_written = [&](const std::string& p) {
            events.push_back("written " + fs::path(p).filename().string());
        };
        on.message_failed = [&](const std::string&, std::int32_t j, const std::string& e,
                                const std::string&) {
            events.push_back("failed " + std::to_string(j) + " " + e);
        };
        on.message_warning = [&](const std::string&, std::int32_t j, const std::string& w) {
            events.push_back("warning " + std::to_string(j) + " " + w);
        };
        TConvertRun(std::move(job), std::move(on)).Run();
        std::map<std::string, std::string> files;
        for (const std::string& name : Names(dir / out)) {
            files[name] = ReadAll(dir / out / name);
        }
        return std::make_pair(events, files);
    };
    const auto second = std::make_shared<int>(0);
    const auto alone = run("alone", false, second);
    EXPECT_EQ(run("shared", true, second), alone);
    EXPECT_GT(*second, 0);
}

TEST(ConvertDbx, DamagedMessageSecondMailboxFailsAndTheLostAreCounted) {
    test::TempDir dir;
    DbxBuilder()
        .AddMessage("Subject: first\r\n\r\n1\r\n")
        .AddMessage(std::string("Subject: broken\r\n\r\n") + std::string(2000, 'x'), {512})
        .AddMessage("Subject: third\r\n\r\n3\r\n")
        .NextBlockPastEnd(1, 1)
        .HeaderCount(7)
        .WriteTo(dir / "damaged.dbx");
    DbxBuilder().AddMessage("Subject: other\r\n\r\n").WriteTo(dir / "other.dbx");
    auto job = SubjectJob(dir, {(dir / "damaged.dbx").string(), (dir / "missing.dbx").string(),
                                (dir / "other.dbx").string()});
    job.create_dir = true;
    const Outcome outcome = Convert(std::move(job));
    EXPECT_EQ(Names(dir / "out" / "damaged"), (std::set<std::string>{"first.eml", "third.eml"}));
    EXPECT_EQ(Names(dir / "out" / "other"), (std::set<std::string>{"other.eml"}));
    // The header's count of 7 against the 3 found is the damaged file's own error, after its
    // messages: 4 messages lost.
    ASSERT_EQ(outcome.errors.size(), 3u);
    EXPECT_EQ(outcome.errors[0].rfind("damaged.dbx#1:", 0), 0u) << outcome.errors[0];
    EXPECT_EQ(outcome.errors[1].rfind("damaged.dbx:ヘッダのメール数は 7 通", 0), 0u)
        << outcome.errors[1];
    EXPECT_EQ(outcome.errors[2], "missing.dbx:ファイルが開けません。");
    EXPECT_TRUE(outcome.warnings.empty());
    EXPECT_EQ(outcome.summary.messages_failed, 1);
    EXPECT_EQ(outcome.summary.messages_lost, 4);
    EXPECT_EQ(outcome.summary.files_failed, 2);
    EXPECT_EQ(outcome.summary.messages_written, 3);
}

TEST(ConvertDbx, FilesThatCannotBeOpenedSayWhyApartFromTheMessage) {
    test::TempDir dir;
    DbxBuilder().AddMessages(1).WriteTo(dir / "held.dbx");
    fs::create_directory(dir / "folder.dbx");
    TDBXParser holder(dir / "held.dbx");  // another program's lock
    ASSERT_EQ(holder.GetMailCount(), 1);
    const Outcome outcome =
        Convert(SubjectJob(dir, {(dir / "missing.dbx").string(), (dir / "folder.dbx").string(),
                                 (dir / "held.dbx").string()}));
    EXPECT_EQ(outcome.errors, (std::vector<std::string>{"missing.dbx:ファイルが開けません。",
                                                        "folder.dbx:ファイルが開けません。",
                                                        "held.dbx:ファイルが開けません。"}));
    EXPECT_EQ(outcome.reasons,
              (std::vector<std::string>{
                  "No such file or directory", "Is a directory",
                  "他のプログラムがこのファイルを使っています。閉じてからやり直してください"}));
}

TEST(ConvertDbx, CountWarningTravelsThroughTheRunNeverTheReportHook) {
    test::TempDir dir;
    DbxBuilder().AddMessages(2).HeaderCount(0).WriteTo(dir / "zero.dbx");
    DbxBuilder().AddMessages(2).WriteTo(dir / "sound.dbx");
    std::vector<Report> reports;
    ScopedReportSink sink([&](const Report& r) { reports.push_back(r); });
    std::vector<std::string> warned;
    TConvertEvents events;
    events.file_warning = [&](const std::string& path, const std::string& w) {
        warned.push_back(fs::path(path).filename().string() + ":" + w);
    };
    TConvertRun run(SubjectJob(dir, {(dir / "zero.dbx").string(), (dir / "sound.dbx").string()}),
                    std::move(events));
    // A header count of 0 does not hide the messages that the walk finds.
    EXPECT_EQ(run.Run().messages_written, 4);
    ASSERT_EQ(warned.size(), 1u);
    EXPECT_EQ(warned[0].rfind("zero.dbx:ヘッダのメール数 0 ", 0), 0u) << warned[0];
    // The front end's sink hears nothing from the run, whether the view listens or not.
    TConvertRun unheard(SubjectJob(dir, {(dir / "zero.dbx").string()}));
    EXPECT_EQ(unheard.Run().messages_written, 2);
    EXPECT_TRUE(reports.empty());
}

TEST(ConvertDbx, DamagedIndexAndSalvageAreWarnedOnceAndNoStoredTextIsLost) {
    test::TempDir dir;
    DbxBuilder().AddMessages(3).RootPastEnd().WriteTo(dir / "rootless.dbx");
    DbxBuilder()
        .AddMessage("Subject: kept\r\n\r\n")
        .AddMessage("Subject: lost\r\n\r\n")
        .LeaveOutOfIndex(1)
        .AddMessage("Subject: emptied\r\n\r\n")
        .AttributeIds(2, 0x84, 0x04)  // read all the same: the record names the text
        .WriteTo(dir / "deleted.dbx");
    DbxBuilder().AddMessages(1).WriteTo(dir / "folders.dbx");
    {
        std::fstream patch(dir / "folders.dbx", std::ios::in | std::ios::out | std::ios::binary);
        patch.seekp(4);
        patch.write("\xC6\xFD\x74\x6F", 4);  // the folder list's file type
    }
    std::vector<std::pair<std::int32_t, std::string>> message_warnings;
    TConvertEvents events;
    std::vector<std::string> file_warnings;
    std::vector<std::string> failures;
    events.file_warning = [&](const std::string& p, const std::string& w) {
        file_warnings.push_back(fs::path(p).filename().string() + ":" + w);
    };
    events.message_warning = [&](const std::string&, std::int32_t j, const std::string& w) {
        message_warnings.emplace_back(j, w);
    };
    events.file_failed = [&](const std::string& p, const std::string& e, const std::string&) {
        failures.push_back(fs::path(p).filename().string() + ":" + e);
    };
    auto job = SubjectJob(dir, {(dir / "rootless.dbx").string(), (dir / "deleted.dbx").string(),
                                (dir / "folders.dbx").string()});
    job.salvage = true;
    TConvertRun run(std::move(job), std::move(events));
    const TConvertSummary summary = run.Run();
    EXPECT_EQ(Names(dir / "out"),
              (std::set<std::string>{"message 0.eml", "message 1.eml", "message 2.eml", "kept.eml",
                                     "lost.eml", "emptied.eml"}));
    EXPECT_EQ(summary.messages_written, 6);
    EXPECT_EQ(summary.files_failed, 1);
    ASSERT_EQ(file_warnings.size(), 2u);
    EXPECT_EQ(file_warnings[0].rfind("rootless.dbx:メールの索引が壊れています", 0), 0u)
        << file_warnings[0];
    EXPECT_EQ(file_warnings[1].rfind("deleted.dbx:索引にないメール 1 通", 0), 0u)
        << file_warnings[1];
    EXPECT_TRUE(message_warnings.empty());
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].find("Folders.dbx"), std::string::npos) << failures[0];
}

// Every output folder lies in the destination: an error of the folder (full, read-only, gone)
// would meet every later source too, so it ends the run with one report.
TEST(ConvertDbx, ErrorOfTheOutputFolderEndsTheRunWithOneReport) {
    struct Case {
        const char* what;
        bool per_source_folder;
        bool disk_full;  // otherwise the destination is a file, or gone
        std::int64_t written;
        std::int64_t unwritten;  // the rest of the mailbox, counted lost
    };
    for (const Case& c :
         {Case{"full, shared folder", false, true, 3, 47},
          Case{"full, folder per source", true, true, 3, 47}, Case{"gone", false, false, 0, 50},
          Case{"not a folder, folder per source", true, false, 0, 0}}) {
        SCOPED_TRACE(c.what);
        test::TempDir dir;
        DbxBuilder().AddMessages(50).WriteTo(dir / "a.dbx");
        DbxBuilder().AddMessages(30).WriteTo(dir / "b.dbx");
        auto job = SubjectJob(dir, {(dir / "a.dbx").string(), (dir / "b.dbx").string()});
        job.create_dir = c.per_source_folder;
        std::optional<ScopedWriteFunction> full;
        if (c.disk_full) {
            // The disk fills up during the fourth message.
            full.emplace(DiskFullAfter(3 * 30 + 10));
        } else {
            fs::remove_all(job.destination);
            if (c.per_source_folder) {
                std::ofstream(job.destination) << "a file where the destination should be";
                job.destination += "/sub";
            }
        }
        const Outcome outcome = Convert(std::move(job));
        EXPECT_EQ(outcome.summary.messages_written, c.written);
        EXPECT_EQ(outcome.summary.messages_failed, 0);
        EXPECT_EQ(outcome.summary.messages_lost, c.unwritten);
        EXPECT_EQ(outcome.summary.messages_unwritten, c.unwritten);
        EXPECT_EQ(outcome.summary.files_failed, 1);
        EXPECT_EQ(outcome.summary.files_skipped, 1);
        EXPECT_FALSE(outcome.summary.stopped);
        ASSERT_EQ(outcome.errors.size(), 1u);
        EXPECT_EQ(outcome.errors[0].rfind("a.dbx:", 0), 0u) << outcome.errors[0];
    }
}

TEST(ConvertDbx, CorpusMailboxesConvertCompletely) {
    const fs::path corpus = BRINDLE_CORPUS_DIR;
    if (!fs::exists(corpus / "perl_test.dbx") || !fs::exists(corpus / "perl_test1.dbx")) {
        GTEST_SKIP() << "real mailboxes not found in " << corpus;
    }
    test::TempDir dir;
    const std::vector<std::string> sources{(corpus / "perl_test.dbx").string(),
                                           (corpus / "perl_test1.dbx").string()};
    auto job = SubjectJob(dir, sources);
    job.create_dir = true;
    const Outcome outcome = Convert(std::move(job));
    EXPECT_TRUE(outcome.errors.empty());
    EXPECT_EQ(outcome.summary.messages_written, 2);
    EXPECT_EQ(ReadAll(dir / "out" / "perl_test" / "Please read you won't be sorry.........eml"),
              JoinLines(TDBXParser(sources[0]).ReadMailLines(0)));
    const fs::path second =
        dir / "out" / "perl_test1" / "[fmII] centericq 4.7.5 released (Default branch).eml";
    EXPECT_EQ(fs::file_size(second), 2710u);
    EXPECT_EQ(ReadAll(second), JoinLines(TDBXParser(sources[1]).ReadMailLines(0)));
}

}  // namespace
}  // namespace brindle
