// A conversion job: everything a run needs, independent of where it came from (the main
// window, brindle-cli convert, a saved job file). Front ends fill it, check it with CheckJob
// and hand it to TConvertRun.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "convert/mail_writer.hpp"
#include "mailbox/basic_mail.hpp"

namespace brindle {

// Decides whether a message is converted. An empty filter accepts every message; the
// condition matcher is plugged in here.
using TMailFilter = std::function<bool(const TBasicMail&)>;

struct TConvertJob {
    std::vector<std::string> sources;  // native paths of .dbx files, in order
    std::string destination;           // native path of an existing folder
    bool create_dir = false;           // one subfolder per source, named after the file
    // Also scan each mailbox for messages its index does not list (a damaged index is
    // scanned in any case).
    bool salvage = false;
    // As the user gave it: for the header place PrepareParamText makes it a header key when
    // the run starts.
    TNamingRule naming;
    TMailFilter filter;
};

// The checks a front end makes before it starts a job, in this order; the message (UTF-8) of
// the first that fails, or nothing when the job can run.
std::optional<std::string> CheckJob(const TConvertJob& job);

}  // namespace brindle
