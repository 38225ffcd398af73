// Salvage against random damage: every message whose own record and blocks the damage left
// alone comes out byte for byte, none comes out twice, and only a damaged record gives an empty
// message. A longer run of the
// same check is bench/mailbox/salvage_differential.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <string>

#include "mailbox/dbx_parser.hpp"
#include "platform/exception.hpp"
#include "platform/report.hpp"
#include "support/dbx_damage.hpp"
#include "support/temp_dir.hpp"

namespace brindle {
namespace {

TEST(DbxDamage, SalvageGivesBackEveryUntouchedMessageOnce) {
    const test::TempDir dir;
    std::vector<Report> reports;
    const ScopedReportCapture quiet(reports);  // bad lengths are said; nobody listens here
    for (std::uint32_t seed = 1; seed <= 300; ++seed) {
        const test::DamagedMailbox box = test::MakeDamagedMailbox(seed);
        SCOPED_TRACE("seed " + std::to_string(seed) + ": " + box.damage);
        const auto path = dir / ("box" + std::to_string(seed) + ".dbx");
        std::ofstream(path, std::ios::binary) << box.bytes;
        TDBXParser parser(path, true);
        std::map<std::string, int> delivered;
        try {
            const std::int32_t count = parser.GetMailCount();
            for (std::int32_t i = 0; i < count; ++i) {
                try {
                    ++delivered[parser.ReadMailText(i)];
                } catch (const MailboxError&) {
                    throw;
                } catch (const Exception&) {
                }
            }
        } catch (const MailboxError& e) {
            ADD_FAILURE() << e.what();
        } catch (const Exception&) {
            // The damage made it no mailbox at all: nothing may then have been untouched.
        }
        // Only a damaged record can say that its message has no text.
        const auto touched = std::count(box.untouched.begin(), box.untouched.end(), false);
        EXPECT_LE(delivered[""], touched);
        delivered.erase("");
        for (const auto& [text, times] : delivered) {
            EXPECT_EQ(times, 1) << text.substr(0, 40);
        }
        for (std::size_t m = 0; m < box.texts.size(); ++m) {
            if (box.untouched[m]) {
                EXPECT_EQ(delivered.count(box.texts[m]), 1u) << "message " << m;
            }
        }
    }
}

}  // namespace
}  // namespace brindle
