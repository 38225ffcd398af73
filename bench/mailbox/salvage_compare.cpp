// How many messages `brindle-cli convert --salvage` and Debian's `undbx -r` get out of the same
// damaged mailboxes: the damages seen in the field (an index pointer moved into a node, a record
// pointer a few bytes off, bad block lengths, deleted messages), then many seeded random damages
// (tests/support/dbx_damage.hpp; the unit test runs the first 300 seeds). Each output file is
// compared with the messages the mailbox was built from, line ends aside: "intact" outputs are a
// message byte for byte, "other" outputs are anything else (a damaged or recovered message, or a
// fragment). Also counts, for brindle, the untouched messages that did not come out, which must
// be none. Prints one line per mailbox, then the totals. Run by salvage_compare.sh.
//
// Usage: brindle_salvage_compare BRINDLE_CLI [UNDBX|-] [SEEDS] [WORK_DIR] [CORPUS_DIR]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <numeric>
#include <set>
#include <string>
#include <vector>

#include "support/dbx_builder.hpp"
#include "support/dbx_damage.hpp"

namespace fs = std::filesystem;
using brindle::test::DbxBuilder;

namespace {

struct Case {
    std::string name;
    std::string bytes;
    std::vector<std::string> texts;
    std::vector<bool> untouched;
};

// Line ends aside: every CR LF, CR or LF as one LF, no line end at the very end.
std::string Normalized(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out.push_back('\n');
            if (i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else {
            out.push_back(text[i]);
        }
    }
    while (!out.empty() && out.back() == '\n') {
        out.pop_back();
    }
    return out;
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Score {
    int intact = 0;  // distinct messages that came out byte for byte
    int other = 0;
    int untouched_missing = 0;
};

Score ScoreOutput(const fs::path& out, const Case& c) {
    std::set<std::string> wanted;
    for (const std::string& text : c.texts) {
        wanted.insert(Normalized(text));
    }
    std::set<std::string> found;
    Score score;
    if (fs::exists(out)) {
        for (const auto& entry : fs::recursive_directory_iterator(out)) {
            if (!entry.is_regular_file()) {
                continue;
            }
            const std::string text = Normalized(ReadAll(entry.path()));
            if (wanted.count(text) != 0) {
                found.insert(text);
            } else {
                ++score.other;
            }
        }
    }
    score.intact = static_cast<int>(found.size());
    for (std::size_t m = 0; m < c.texts.size(); ++m) {
        if (c.untouched[m] && found.count(Normalized(c.texts[m])) == 0) {
            ++score.untouched_missing;
        }
    }
    return score;
}

void Patch32(std::string& bytes, std::size_t at, std::int64_t delta) {
    std::uint32_t value = 0;
    std::memcpy(&value, bytes.data() + at, 4);
    value += static_cast<std::uint32_t>(delta);
    std::memcpy(bytes.data() + at, &value, 4);
}

std::vector<Case> FieldCases(const std::string& corpus) {
    std::vector<Case> cases;
    // 200 messages, each root entry with a child of 49: a child pointer moved 0x4C bytes into
    // its own child node.
    brindle::test::DbxIndexNode root;
    std::vector<int> left(50);
    std::iota(left.begin(), left.end(), 0);
    root.left.push_back(brindle::test::DbxLeaf(left));
    for (const int first : {50, 100, 150}) {
        std::vector<int> child(49);
        std::iota(child.begin(), child.end(), first + 1);
        root.entries.push_back({first, {brindle::test::DbxLeaf(child)}, std::nullopt});
    }
    DbxBuilder tree;
    tree.FullBlocks();
    for (int i = 0; i < 200; ++i) {
        tree.AddMessage("Subject: tree " + std::to_string(i) + "\r\n\r\n" +
                        std::string(static_cast<std::size_t>(100 + i * 7), 'a' + i % 26) + "\r\n");
    }
    tree.IndexTree(root);
    const brindle::test::DbxLayout layout = tree.BuildWithLayout();
    std::vector<std::string> texts;
    for (int i = 0; i < 200; ++i) {
        texts.push_back("Subject: tree " + std::to_string(i) + "\r\n\r\n" +
                        std::string(static_cast<std::size_t>(100 + i * 7), 'a' + i % 26) + "\r\n");
    }
    const auto root_at = static_cast<std::size_t>(layout.root);
    const std::pair<const char*, std::size_t> pointers[] = {
        {"left pointer moved into its node", root_at + 0x08},
        {"first child pointer moved into its node", root_at + 0x18 + 4},
        {"later child pointer moved into its node", root_at + 0x18 + 24 + 4},
    };
    for (const auto& [name, at] : pointers) {
        Case c{name, layout.bytes, texts, std::vector<bool>(200, true)};
        Patch32(c.bytes, at, 0x4C);
        cases.push_back(std::move(c));
    }
    // Bad lengths of one block, the message's other blocks intact.
    for (const std::int32_t length : {1025, 0x10000, 0x7FFFFFFF}) {
        const std::string text = "Subject: long\r\n\r\n" + std::string(1500, 'l') + "\r\n";
        DbxBuilder builder;
        builder.FullBlocks()
            .AddMessages(3)
            .AddMessage(text)
            .BlockLength(3, 1, length)
            .AddMessages(2);
        Case c{"block length " + std::to_string(length), builder.Build(), {}, {}};
        for (int i = 0; i < 6; ++i) {
            c.texts.push_back(i == 3 ? text
                                     : "Subject: message " + std::to_string(i) + "\r\n\r\nbody " +
                                           std::to_string(i) + "\r\n");
            c.untouched.push_back(i != 3);
        }
        cases.push_back(std::move(c));
    }
    // The real mailbox with its one record pointer 0x24 bytes off.
    const fs::path real = fs::path(corpus) / "perl_test1.dbx";
    if (!corpus.empty() && fs::exists(real)) {
        std::string bytes = ReadAll(real);
        std::uint32_t root_node = 0;
        std::memcpy(&root_node, bytes.data() + 0xE4, 4);
        Case original{"perl_test1.dbx record pointer +0x24", bytes, {}, {}};
        Patch32(original.bytes, root_node + 0x18, 0x24);
        cases.push_back(std::move(original));  // its text is taken from the sound file below
    }
    return cases;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: " << argv[0] << " BRINDLE_CLI [UNDBX|-] [SEEDS] [WORK_DIR] [CORPUS]\n";
        return 2;
    }
    const std::string cli = argv[1];
    const std::string undbx = argc > 2 && std::string(argv[2]) != "-" ? argv[2] : "";
    const int seeds = argc > 3 ? std::atoi(argv[3]) : 200;
    const fs::path work = argc > 4 ? argv[4] : fs::temp_directory_path() / "brindle-salvage";
    const std::string corpus = argc > 5 ? argv[5] : "";
    fs::remove_all(work);
    fs::create_directories(work);

    std::vector<Case> cases = FieldCases(corpus);
    for (Case& c : cases) {
        if (c.texts.empty()) {  // the real mailbox: its sound copy's text
            const fs::path sound = work / "sound.dbx";
            std::ofstream(sound, std::ios::binary) << ReadAll(fs::path(corpus) / "perl_test1.dbx");
            const std::string command = cli + " convert -o " + (work / "sound").string() + " " +
                                        sound.string() + " >/dev/null 2>&1";
            fs::create_directories(work / "sound");
            if (std::system(command.c_str()) == 0) {
                for (const auto& e : fs::directory_iterator(work / "sound")) {
                    c.texts.push_back(ReadAll(e.path()));
                    c.untouched.push_back(true);
                }
            }
        }
    }
    for (int seed = 1; seed <= seeds; ++seed) {
        brindle::test::DamagedMailbox box =
            brindle::test::MakeDamagedMailbox(static_cast<std::uint32_t>(seed));
        cases.push_back(Case{"seed " + std::to_string(seed), std::move(box.bytes),
                             std::move(box.texts), std::move(box.untouched)});
    }

    Score brindle_total;
    Score undbx_total;
    int files_behind = 0;
    std::printf("%-42s %8s %15s %15s\n", "mailbox", "messages", "brindle", "undbx -r");
    std::printf("%-42s %8s %15s %15s\n", "", "", "intact/other", "intact/other");
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        const fs::path box = work / ("box" + std::to_string(i) + ".dbx");
        std::ofstream(box, std::ios::binary) << c.bytes;
        const fs::path out_b = work / ("brindle" + std::to_string(i));
        const fs::path out_u = work / ("undbx" + std::to_string(i));
        fs::create_directories(out_b);
        fs::create_directories(out_u);
        const std::string run_b = cli + " convert --salvage -o " + out_b.string() + " " +
                                  box.string() + " >/dev/null 2>&1";
        [[maybe_unused]] const int status_b = std::system(run_b.c_str());
        const Score b = ScoreOutput(out_b, c);
        Score u;
        if (!undbx.empty()) {
            const std::string run_u =
                undbx + " -r -v 0 " + box.string() + " " + out_u.string() + " >/dev/null 2>&1";
            [[maybe_unused]] const int status_u = std::system(run_u.c_str());
            u = ScoreOutput(out_u, c);
        }
        brindle_total.intact += b.intact;
        brindle_total.other += b.other;
        brindle_total.untouched_missing += b.untouched_missing;
        undbx_total.intact += u.intact;
        undbx_total.other += u.other;
        const bool behind = !undbx.empty() && b.intact < u.intact;
        files_behind += behind ? 1 : 0;
        if (i < cases.size() - static_cast<std::size_t>(seeds) || behind ||
            b.untouched_missing > 0) {
            std::printf("%-42s %8zu %7d/%-7d %7d/%-7d%s%s\n", c.name.c_str(), c.texts.size(),
                        b.intact, b.other, u.intact, u.other, behind ? "  BEHIND" : "",
                        b.untouched_missing > 0 ? "  UNTOUCHED MISSING" : "");
        }
        fs::remove_all(out_b);
        fs::remove_all(out_u);
    }
    std::printf("%-42s %8s %7d/%-7d %7d/%-7d\n", ("all " + std::to_string(cases.size())).c_str(),
                "", brindle_total.intact, brindle_total.other, undbx_total.intact,
                undbx_total.other);
    std::printf("mailboxes where brindle got fewer intact messages than undbx: %d\n", files_behind);
    std::printf("untouched messages brindle did not give back: %d\n",
                brindle_total.untouched_missing);
    return files_behind == 0 && brindle_total.untouched_missing == 0 ? 0 : 1;
}
