// The job being edited: source mailboxes, destination folder, naming rule and parameter, the
// one-folder-per-source flag and the condition list. Every change goes through a setter, which
// marks the job modified and notifies every listener before it returns. The application
// creates one TSettingFile and hands it to its windows; nothing else keeps a copy of the job.
//
// Load and Save answer true or false and report their errors themselves through the reporting
// hook (an error box in the GUI). Neither ever leaves things half done: Save writes a temporary
// file beside the target and renames it over the old one, and Load reads the whole file before
// it touches the job.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "model/find_type.hpp"
#include "model/naming.hpp"
#include "platform/catalogue.hpp"
#include "settings/job_xml.hpp"
#include "settings/observer.hpp"

namespace brindle {

class TSettingFile : public TObserver {
  public:
    TSettingFile();

    // The new job: no sources, no destination, running numbers, no per-source folders, no
    // conditions, no file name, not modified; the naming parameter is kept. Notifies.
    void Clear();

    // Replaces the job with the file's. On failure the job, its file name and its modified
    // flag stay as they were, the error is reported, and no notice is sent. On success the job
    // is cleared (one notice), filled, left unmodified, and a second notice follows. Numbers
    // out of range are left at the cleared job's values; refused, when given, receives a note
    // for each (a job run unattended refuses them, the editor shows what it kept).
    bool Load(const std::string& file_name, std::vector<std::string>* refused = nullptr);

    // Writes the job. On success the file name becomes file_name, the job counts as saved
    // (not modified) and the listeners are notified; on failure the error is reported and the
    // previous file, if any, is left as it was.
    // Only a new name or a regular file is written, never one of the job's source mailboxes
    // (the same file under any name); anything else is refused with a report.
    bool Save(const std::string& file_name);

    // True when the file is a settings file of this program (a regular file holding XML whose
    // root is Brindle). Front ends ask before they replace a file the user did not pick from
    // their own list of jobs.
    static bool IsJobFile(const std::string& file_name);

    // Why the job must not be saved as file_name, or nothing when it may: only a new name or an
    // existing settings file of this program is written, since saving replaces the file. The
    // answer names the file and says what it is (an Outlook Express mailbox, a file that is no
    // job). Every front end asks before it saves to a name the user gave it.
    static std::optional<TMessage> ReplaceRefusal(const std::string& file_name);

    std::string GetFileName() const { return file_name_; }
    bool GetModified() const { return modified_; }
    void SetModified(bool modified);

    // Appends the path unless the same bytes are already listed (then nothing happens and no
    // notice is sent).
    void AddInportPath(const std::string& path);
    // An index outside the list changes nothing and sends no notice.
    void DeleteInportPath(std::size_t index);
    std::vector<std::string> GetInportPaths() const { return job_.InportPath; }

    void SetExportPath(const std::string& path);
    std::string GetExportPath() const { return job_.ExportPath; }

    // A rule outside 0..2 changes nothing and sends no notice.
    void SetNamingType(TNamingType naming_type);
    TNamingType GetNamingType() const { return job_.NamingType; }

    void SetCreateDir(bool create_dir);
    bool GetCreateDir() const { return job_.CreateDir; }

    void SetNamingTypeParameter(const TFindParam& param);
    TFindParam GetNamingTypeParameter() const { return job_.NamingTypeParameter; }

    // Appends without looking for an equal condition.
    void AddCondition(const TFindType& condition);
    void SetConditions(std::span<const TFindType> conditions);
    std::vector<TFindType> GetConditions() const { return job_.ConditionList; }

    // The whole job at once (what the conversion and the file are made from).
    const TJobData& GetJob() const { return job_; }

  private:
    void Changed();

    TJobData job_;
    bool modified_ = false;
    std::string file_name_;
};

}  // namespace brindle
