#include "job/job_setup.hpp"

#include <utility>

#include "match/mail_match.hpp"
#include "platform/core_messages.hpp"
#include "platform/file_system.hpp"
#include "platform/text_encoding.hpp"
#include "regexp/awk_str.hpp"
#include "settings/setting_file.hpp"

namespace brindle {
namespace {

TJobProblem Problem(CoreMsg id, std::string detail = {}) {
    TMessage text = Msg(id);
    std::string message = text.Render();
    return TJobProblem{std::move(message), std::move(detail), std::move(text)};
}

}  // namespace

std::optional<TJobProblem> CheckConditions(std::span<const TFindType> conditions) {
    TAWKStr checker;
    for (const TFindType& condition : conditions) {
        if (!condition.Regexp) {
            continue;
        }
        try {
            checker.SetRegExp(condition.Condition);
        } catch (const ERegExpParser& e) {
            const TMessage place =
                Msg(CoreMsg::JobExpressionPlace, {{"expression", Cp932ToUtf8(condition.Condition)},
                                                  {"position", std::to_string(e.Position())}});
            return TJobProblem{e.what(), place.Render(), e.Message()};
        }
    }
    return std::nullopt;
}

std::optional<TJobProblem> CheckJob(const TJobData& job) {
    if (job.InportPath.empty()) {
        return Problem(CoreMsg::JobNoSource);
    }
    if (!DirectoryExists(job.ExportPath)) {
        return Problem(CoreMsg::JobNoDestination, SanitizeUtf8(job.ExportPath));
    }
    if (!IsValid(job.NamingType)) {
        return Problem(CoreMsg::JobBadNaming,
                       "NamingType " + std::to_string(static_cast<unsigned>(job.NamingType)));
    }
    const TFindParam& param = job.NamingTypeParameter;
    if (job.NamingType == TNamingType::Parameter) {
        if (!IsValid(param.NamingLine) || !IsValid(param.NamingPos)) {
            return Problem(CoreMsg::JobBadParameter,
                           "NamingLine " + std::to_string(static_cast<unsigned>(param.NamingLine)) +
                               ", NamingPos " +
                               std::to_string(static_cast<unsigned>(param.NamingPos)));
        }
        if (param.ParamText.empty()) {
            return Problem(CoreMsg::JobNoParameterText);
        }
    }
    return CheckConditions(job.ConditionList);
}

TConvertJob MakeConvertJob(const TJobData& job) {
    TConvertJob run;
    run.sources = job.InportPath;
    run.destination = job.ExportPath;
    run.create_dir = job.CreateDir;
    run.naming.type = job.NamingType;
    run.naming.param_text = job.NamingTypeParameter.ParamText;
    run.naming.pos = job.NamingTypeParameter.NamingPos;
    run.naming.line = job.NamingTypeParameter.NamingLine;
    run.filter = MakeMailFilter(job.ConditionList);
    if (!job.ConditionList.empty()) {
        run.make_filter = [conditions = job.ConditionList] { return MakeMailFilter(conditions); };
    }
    return run;
}

void StoreJob(TSettingFile& settings, const TJobData& job) {
    for (std::size_t n = settings.GetInportPaths().size(); n > 0; --n) {
        settings.DeleteInportPath(n - 1);
    }
    for (const std::string& path : job.InportPath) {
        settings.AddInportPath(path);
    }
    settings.SetExportPath(job.ExportPath);
    settings.SetNamingTypeParameter(job.NamingTypeParameter);
    settings.SetNamingType(job.NamingType);
    settings.SetCreateDir(job.CreateDir);
    settings.SetConditions(job.ConditionList);
}

}  // namespace brindle
