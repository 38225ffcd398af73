// Feeds arbitrary bytes to the message parser as the stored text of one message: header
// decoding, charset detection, multipart walking and Base64 / quoted-printable decoding must
// neither crash nor read out of bounds. A conversion error is an allowed outcome (the run
// reports it for that message); any other exception is a fault.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "message/mail.hpp"
#include "platform/exception.hpp"
#include "platform/line_list.hpp"
#include "platform/report.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace brindle;
    const ScopedReportSink quiet([](const Report&) {});
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        const TMail mail(SplitLines(text));
        // The getters copy and join what the parse built; running them checks those members.
        static_cast<void>(mail.GetHeaders());
        static_cast<void>(mail.GetHeaderText());
        static_cast<void>(mail.GetBodyText());
        if (mail.GetText().size() < size) {
            // Each stored line comes back with a CR LF, so nothing can be lost.
            __builtin_trap();
        }
    } catch (const Exception&) {
    }
    return 0;
}
