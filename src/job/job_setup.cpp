#include "job/job_setup.hpp"

#include "match/mail_match.hpp"
#include "platform/file_system.hpp"
#include "platform/text_encoding.hpp"
#include "regexp/awk_str.hpp"
#include "settings/setting_file.hpp"

namespace brindle {

std::optional<TJobProblem> CheckConditions(std::span<const TFindType> conditions) {
    TAWKStr checker;
    for (const TFindType& condition : conditions) {
        if (!condition.Regexp) {
            continue;
        }
        try {
            checker.SetRegExp(condition.Condition);
        } catch (const ERegExpParser& e) {
            return TJobProblem{e.what(), Cp932ToUtf8(condition.Condition) + " (" +
                                             std::to_string(e.Position()) + "文字目)"};
        }
    }
    return std::nullopt;
}

std::optional<TJobProblem> CheckJob(const TJobData& job) {
    if (job.InportPath.empty()) {
        return TJobProblem{"変換元のDBXファイルが指定されていません。", {}};
    }
    if (!DirectoryExists(job.ExportPath)) {
        return TJobProblem{"変換先のディレクトリが見つかりません。", SanitizeUtf8(job.ExportPath)};
    }
    if (!IsValid(job.NamingType)) {
        return TJobProblem{"ファイル名の付け方が正しくありません。",
                           "NamingType " + std::to_string(static_cast<unsigned>(job.NamingType))};
    }
    const TFindParam& param = job.NamingTypeParameter;
    if (job.NamingType == TNamingType::Parameter) {
        if (!IsValid(param.NamingLine) || !IsValid(param.NamingPos)) {
            return TJobProblem{
                "パラメータの指定が正しくありません。",
                "NamingLine " + std::to_string(static_cast<unsigned>(param.NamingLine)) +
                    ", NamingPos " + std::to_string(static_cast<unsigned>(param.NamingPos))};
        }
        if (param.ParamText.empty()) {
            return TJobProblem{"パラメータ文字が指定されていません。", {}};
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
