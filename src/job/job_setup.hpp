// From the job as the user edits and saves it (TJobData, held by TSettingFile) to the run that
// carries it out (TConvertJob): the checks made before anything is written, and the
// translation. The desktop program and brindle-cli both call these, so a job is checked and
// run the same way whichever front end started it.
#pragma once

#include <optional>
#include <span>
#include <string>

#include "convert/conversion_job.hpp"
#include "model/find_type.hpp"
#include "platform/catalogue.hpp"
#include "settings/job_xml.hpp"

namespace brindle {

class TSettingFile;

// Why a job cannot run. message is the text the user is shown (the main window's error box
// shows exactly this), rendered in the process's language from text, the catalogue's entry;
// detail, when not empty, says what it concerns (a path, or an expression with the position of
// its fault), in UTF-8, for front ends that have room to add it.
struct TJobProblem {
    std::string message;
    std::string detail;
    TMessage text{};

    friend bool operator==(const TJobProblem&, const TJobProblem&) = default;
};

// The first condition marked as a regular expression that does not compile. Found up front, an
// invalid expression is one problem instead of one failure per message.
std::optional<TJobProblem> CheckConditions(std::span<const TFindType> conditions);

// The checks before a job runs, the first that fails: a source is listed, the destination
// folder exists, the naming rule and its parameter's line and place are known values, a
// parameter text is set when naming by parameter, every regular expression compiles.
std::optional<TJobProblem> CheckJob(const TJobData& job);

// The run that a job describes, its conditions as the filter. Meant for a job that CheckJob
// passed.
TConvertJob MakeConvertJob(const TJobData& job);

// Makes the job that settings holds equal to job, through the setters, so that listeners hear
// of it and the setters' rules apply (a source listed twice is kept once). The file name is
// left as it is.
void StoreJob(TSettingFile& settings, const TJobData& job);

}  // namespace brindle
