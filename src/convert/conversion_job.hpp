// A conversion job: everything a run needs, independent of where it came from (the main
// window, brindle-cli convert, a saved job file). Front ends describe the job as TJobData and
// let the job glue (job/job_setup.hpp) check it and make this from it for TConvertRun.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "convert/mail_writer.hpp"
#include "convert/mailbox_writer.hpp"
#include "model/basic_mail.hpp"

namespace brindle {

// Decides whether a message is converted. An empty filter accepts every message; the
// condition matcher is plugged in here.
using TMailFilter = std::function<bool(const TBasicMail&)>;

struct TConvertJob {
    std::vector<std::string> sources;  // native paths of .dbx files, in order
    std::string destination;           // native path of an existing folder
    bool create_dir = false;           // one subfolder per source, named after the file
    // As the user gave it: for the header place PrepareParamText makes it a header key when
    // the run starts.
    TNamingRule naming;
    TMailFilter filter;
    // Makes another filter for the same conditions with a matcher of its own (a matcher is used
    // by one thread at a time), so that both stages of reading ahead can filter; empty: the
    // reading stage filters every message.
    std::function<TMailFilter()> make_filter{};
    // Also scan each mailbox for messages its index does not list (a damaged index is
    // scanned in any case).
    bool salvage = false;
    // Adds to an earlier run's output: a message whose exact bytes are already under one of the
    // names its rule gives it is not written again (counted as skipped).
    bool update = false;
    // One .eml file per message, or one mbox file or Maildir per mailbox
    // (convert/mailbox_writer.hpp), which always goes where a folder per mailbox would and
    // takes no naming rule.
    TOutputFormat format = TOutputFormat::Eml;
};

}  // namespace brindle
