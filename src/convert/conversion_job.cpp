#include "convert/conversion_job.hpp"

#include "platform/file_system.hpp"

namespace brindle {

std::optional<std::string> CheckJob(const TConvertJob& job) {
    if (job.sources.empty()) {
        return std::string("変換元のDBXファイルが指定されていません。");
    }
    if (!DirectoryExists(job.destination)) {
        return std::string("変換先のディレクトリが見つかりません。");
    }
    if (job.naming.type == TNamingType::Parameter && job.naming.param_text.empty()) {
        return std::string("パラメータ文字が指定されていません。");
    }
    return std::nullopt;
}

}  // namespace brindle
