// Feeds arbitrary bytes to the settings file reader. Reading may refuse the input, but never
// crash, hang or read out of bounds; whatever it accepts must be written back without error
// and read again as the same job.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/exception.hpp"
#include "settings/job_xml.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace brindle;
    TJobData job;
    try {
        ReadJobXml(std::string_view(reinterpret_cast<const char*>(data), size), job);
    } catch (const Exception&) {
        return 0;
    }
    // A parameter is written only with naming rule 2; otherwise reading keeps the one held.
    TJobData again;
    again.NamingTypeParameter = job.NamingTypeParameter;
    ReadJobXml(WriteJobXml(job), again);
    if (!(again == job)) {
        std::abort();
    }
    return 0;
}
