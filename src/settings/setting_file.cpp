#include "settings/setting_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string_view>
#include <vector>

#include "platform/core_messages.hpp"
#include "platform/exception.hpp"
#include "platform/file_system.hpp"
#include "platform/report.hpp"
#include "platform/text_encoding.hpp"
#include "platform/work_count.hpp"

namespace brindle {
namespace {

// A settings file is a few kilobytes; anything far larger is not one, and reading it whole
// would only cost memory.
constexpr std::uintmax_t kMaxSettingFileSize = 64u * 1024 * 1024;
constexpr int kTemporaryNameAttempts = 100;
constexpr std::size_t kTemporaryBaseLength = 200;

// The exception's message, with its entry when it has one.
void ReportError(const std::exception& error) {
    const auto* own = dynamic_cast<const Exception*>(&error);
    RaiseReport(Report{ReportKind::Error, {}, error.what(), own ? own->Message() : TMessage()});
}

std::string ReadWholeFile(const std::string& file_name) {
    // The type is checked before the file is opened: opening a named pipe for reading waits
    // until some other process opens it for writing, which may be never.
    struct stat st {};
    if (::stat(file_name.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        throw Exception(Msg(CoreMsg::FileCannotOpen, {{"path", file_name}}));
    }
    std::ifstream in(file_name, std::ios::binary);
    if (!in) {
        throw Exception(Msg(CoreMsg::FileCannotOpen, {{"path", file_name}}));
    }
    if (static_cast<std::uintmax_t>(st.st_size) > kMaxSettingFileSize) {
        throw Exception(Msg(CoreMsg::SettingFileTooLarge, {{"path", file_name}}));
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) {
        throw Exception(Msg(CoreMsg::FileCannotRead, {{"path", file_name}}));
    }
    return std::move(buffer).str();
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file that path names after following symbolic links, or path itself when it is no link
// or its chain cannot be followed to an existing file (a dangling link is then replaced).
std::string ResolveLink(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_symlink(path, error)) {
        return path;
    }
    const std::filesystem::path resolved = std::filesystem::canonical(path, error);
    return error ? path : resolved.string();
}

void SyncFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// A regular file named *.dbx or starting with the signature of a .dbx mailbox.
bool LooksLikeMailbox(const std::string& file_name) {
    constexpr std::string_view kSuffix = ".dbx";
    if (file_name.size() >= kSuffix.size() &&
        std::equal(kSuffix.rbegin(), kSuffix.rend(), file_name.rbegin(), [](char a, char b) {
            return a == std::tolower(static_cast<unsigned char>(b));
        })) {
        return true;
    }
    constexpr std::array<unsigned char, 4> kSignature = {0xCF, 0xAD, 0x12, 0xFE};
    std::array<char, 4> head{};
    std::ifstream in(file_name, std::ios::binary);
    return in.read(head.data(), head.size()) &&
           std::equal(head.begin(), head.end(), kSignature.begin(),
                      [](char a, unsigned char b) { return static_cast<unsigned char>(a) == b; });
}

[[noreturn]] void RefuseSave(const std::string& target, const std::string& reason) {
    throw Exception(Msg(CoreMsg::SettingCannotSave, {{"path", target}, {"reason", reason}}));
}

// The job is written only where nothing else is lost: onto a new name or over a regular file
// that is none of the job's own mailboxes. Renaming over a device, a pipe or a folder would
// put a plain file in its place; over a source mailbox, the mail itself would be gone.
void CheckSaveTarget(const std::string& target, const std::string& real,
                     const std::vector<std::string>& sources) {
    struct stat st {};
    if (::stat(real.c_str(), &st) != 0) {
        if (errno != ENOENT) {
            RefuseSave(target, ErrnoText(errno));
        }
        // A new name: it may still be a source given by a path that does not exist yet.
        std::error_code error;
        const std::filesystem::path wanted = std::filesystem::weakly_canonical(real, error);
        for (const std::string& source : sources) {
            std::error_code source_error;
            if (!error && std::filesystem::weakly_canonical(source, source_error) == wanted &&
                !source_error) {
                RefuseSave(target, Msg(CoreMsg::SettingReasonIsSource).Render());
            }
        }
        return;
    }
    if (!S_ISREG(st.st_mode)) {
        RefuseSave(target, Msg(CoreMsg::ReasonNotRegularFile).Render());
    }
    for (const std::string& source : sources) {
        struct stat source_st {};
        if (::stat(source.c_str(), &source_st) == 0 && source_st.st_dev == st.st_dev &&
            source_st.st_ino == st.st_ino) {
            RefuseSave(target, Msg(CoreMsg::SettingReasonIsSource).Render());
        }
    }
}

// Writes data to a new file beside target and renames it over target, so that target is at
// every moment either the old file or the complete new one.
void ReplaceFile(const std::string& target, const std::string& data,
                 const std::vector<std::string>& sources) {
    // A job file reached through a symbolic link is replaced where it lives; renaming over the
    // link would leave that file as it was and put a plain copy in the link's place.
    const std::string real = ResolveLink(target);
    CheckSaveTarget(target, real, sources);
    // The temporary name must fit where the target's does: a name may take up to 255 bytes,
    // so only the start of a long one goes into it (bytes, not characters: the file is
    // hidden and lives only until the rename).
    const std::string prefix =
        FolderOf(real) + "/." + BaseNameOf(real).substr(0, kTemporaryBaseLength) + ".tmp-";
    std::random_device seed;
    std::mt19937 random(seed());
    std::string temporary;
    for (int attempt = 0;; ++attempt) {
        if (attempt == kTemporaryNameAttempts) {
            throw Exception(Msg(CoreMsg::FileCannotCreate, {{"path", target}}));
        }
        temporary = prefix + std::to_string(random() % 1000000000u);
        try {
            if (WriteNewFile(temporary, data) == CreateResult::Written) {
                break;
            }
        } catch (const Exception& e) {
            // The user knows the file by the name they chose, not by the temporary one.
            RefuseSave(target, e.what());
        }
    }
    // A file that replaces an existing one keeps its permissions.
    struct stat st {};
    if (::stat(real.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        ::chmod(temporary.c_str(), st.st_mode & 07777);
    }
    SyncFile(temporary);
    if (::rename(temporary.c_str(), real.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        RefuseSave(target, ErrnoText(error));
    }
}

}  // namespace

TSettingFile::TSettingFile() {
    Clear();
}

void TSettingFile::Changed() {
    modified_ = true;
    NotifyObservables();
}

void TSettingFile::Clear() {
    TFindParam param = std::move(job_.NamingTypeParameter);
    job_ = TJobData{};
    job_.NamingTypeParameter = std::move(param);
    file_name_.clear();
    modified_ = false;
    NotifyObservables();
}

bool TSettingFile::Load(const std::string& file_name, std::vector<std::string>* refused) {
    // The elements that the file lacks keep the values of a cleared job, the naming parameter
    // the one held now.
    TJobData loaded;
    loaded.NamingTypeParameter = job_.NamingTypeParameter;
    std::vector<std::string> notes;
    try {
        ReadJobXml(ReadWholeFile(file_name), loaded, &notes);
    } catch (const std::exception& e) {
        ReportError(e);
        return false;
    }
    if (refused != nullptr) {
        refused->insert(refused->end(), notes.begin(), notes.end());
    }
    Clear();
    SetSuspended(true);
    // The reader has already dropped repeated paths; adding them one by one would compare
    // each with every path before it.
    job_.InportPath = std::move(loaded.InportPath);
    Changed();
    SetExportPath(loaded.ExportPath);
    SetNamingType(loaded.NamingType);
    SetNamingTypeParameter(loaded.NamingTypeParameter);
    SetCreateDir(loaded.CreateDir);
    SetConditions(loaded.ConditionList);
    file_name_ = file_name;
    // The job now equals the file.
    modified_ = false;
    SetSuspended(false);
    NotifyObservables();
    return true;
}

bool TSettingFile::IsJobFile(const std::string& file_name) {
    try {
        return IsJobXml(ReadWholeFile(file_name));
    } catch (const std::exception&) {
        return false;
    }
}

std::optional<TMessage> TSettingFile::ReplaceRefusal(const std::string& file_name) {
    if (!PathExists(file_name)) {
        return std::nullopt;
    }
    struct stat st {};
    if (::stat(file_name.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return Msg(CoreMsg::SettingRefuseNotRegular, {{"path", SanitizeUtf8(file_name)}});
    }
    if (IsJobFile(file_name)) {
        return std::nullopt;
    }
    if (LooksLikeMailbox(file_name)) {
        return Msg(CoreMsg::SettingRefuseMailbox, {{"path", SanitizeUtf8(file_name)}});
    }
    return Msg(CoreMsg::SettingRefuseNotJob, {{"path", SanitizeUtf8(file_name)}});
}

bool TSettingFile::Save(const std::string& file_name) {
    try {
        ReplaceFile(file_name, WriteJobXml(job_), job_.InportPath);
    } catch (const std::exception& e) {
        ReportError(e);
        return false;
    }
    file_name_ = file_name;
    modified_ = false;
    NotifyObservables();
    return true;
}

void TSettingFile::SetModified(bool modified) {
    modified_ = modified;
    NotifyObservables();
}

void TSettingFile::AddInportPath(const std::string& path) {
    const auto found = std::find(job_.InportPath.begin(), job_.InportPath.end(), path);
    CountWork(static_cast<std::uint64_t>(found - job_.InportPath.begin()) + 1);
    if (found != job_.InportPath.end()) {
        return;
    }
    job_.InportPath.push_back(path);
    Changed();
}

void TSettingFile::DeleteInportPath(std::size_t index) {
    if (index >= job_.InportPath.size()) {
        return;
    }
    job_.InportPath.erase(job_.InportPath.begin() + static_cast<std::ptrdiff_t>(index));
    Changed();
}

void TSettingFile::SetExportPath(const std::string& path) {
    job_.ExportPath = path;
    Changed();
}

void TSettingFile::SetNamingType(TNamingType naming_type) {
    if (!IsValid(naming_type)) {
        return;
    }
    job_.NamingType = naming_type;
    Changed();
}

void TSettingFile::SetCreateDir(bool create_dir) {
    job_.CreateDir = create_dir;
    Changed();
}

void TSettingFile::SetNamingTypeParameter(const TFindParam& param) {
    job_.NamingTypeParameter = param;
    Changed();
}

void TSettingFile::AddCondition(const TFindType& condition) {
    job_.ConditionList.push_back(condition);
    Changed();
}

void TSettingFile::SetConditions(std::span<const TFindType> conditions) {
    job_.ConditionList.assign(conditions.begin(), conditions.end());
    Changed();
}

}  // namespace brindle
