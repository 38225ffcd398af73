// TFormMain: the program's main window. It shows the job held by the settings object (source
// mailboxes, destination folder, naming rule, one folder per source, conditions), changes it
// only through the object's setters, redraws itself when the object notifies its listener,
// loads and saves the job as a settings file, and starts a conversion in TFormConvert.
//
// Boxes and file dialogs go through the modal service, so tests answer them in advance.
#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <memory>

#include "settings/observer.hpp"
#include "settings/setting_file.hpp"

class QAction;
class QCheckBox;
class QLineEdit;
class QPushButton;

namespace brindle {

// A mailbox as the window knows one by its name: *.dbx, in any case.
bool IsMailboxName(const QString& path);
// What a command line may name at once: one settings file, or any number of mailboxes.
bool CanOpenTogether(const QStringList& files);

class RadioGroup;
class TDbxGrid;
class TFindTypeGrid;
class TFormMain;

// The window's listener: the settings object calls Update after every change.
class TFormMainNotifyEvent final : public TObservable {
  public:
    explicit TFormMainNotifyEvent(TFormMain& form) : form_(form) {}
    void Update() override;

  private:
    TFormMain& form_;
};

class TFormMain : public QMainWindow {
    Q_OBJECT

  public:
    explicit TFormMain(TSettingFile& settings, QWidget* parent = nullptr);
    ~TFormMain() override;

    // Opens a settings file as the command "ファイルを開く" does once a name is chosen; used for
    // `brindle JOB.xml`. Answers whether it was loaded.
    bool LoadSettingFile(const QString& file_name);
    // The files of the command line (a file manager's "open with"): mailboxes are added to the
    // job as dropped ones are, one settings file is opened; see CanOpenTogether.
    void OpenFiles(const QStringList& files);

    // Redraws the controls that show the job (the lists redraw themselves).
    void Refresh();

    // Hands the conversion dialog to a test before it runs; the program leaves it unset.
    using ConvertHook = std::function<void(class TFormConvert&)>;
    void SetConvertHook(ConvertHook hook) { convert_hook_ = std::move(hook); }

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private slots:
    void ActionDbxSelectExecute();
    void ActionDbxFolderAddExecute();
    void ActionDbxDeleteExecute();
    void ActionSelectDirExecute();
    void EditSaveDirExit();
    void RadioGroupNamingClick(int index);
    void CheckBoxCreateDirClick();
    void ActionFindEditExecute();
    void ActionFindClearExecute();
    void ActionSettingFileCreateExecute();
    void ActionSettingFileLoadExecute();
    void ActionSettingFileSaveNewExecute();
    void ActionSettingFileSaveOverExecute();
    void ActionConvertExecute();
    void MenuHelpBrindleClick();
    void MenuHelpVersionClick();

  private:
    QAction* MakeAction(const char* name, const QString& caption, const QKeySequence& shortcut,
                        const QString& category, const QString& hint = {});
    void CreateMenus();
    QWidget* CreateControls();
    void SaveAs(const QString& file_name);
    // Shows why the job may not replace that file (it is no job of this program) and answers
    // true; false when it may be written.
    bool RefusedTarget(const QString& file_name);
    void ShowStatus(const QString& text);
    void ValidationError(const QString& text);

    TSettingFile& settings_;
    TFormMainNotifyEvent listener_;
    TObserverRegistration registration_;
    // Set while the window writes the naming rule itself or loads a file, so that the radio
    // group's change does not open the parameter dialog.
    bool guard_ = false;
    bool columns_set_ = false;
    QString open_dialog_folder_;  // OpenDialog1's folder, kept between uses
    ConvertHook convert_hook_;

    QAction* action_dbx_select_ = nullptr;
    QAction* action_dbx_folder_ = nullptr;
    QAction* action_dbx_delete_ = nullptr;
    QAction* action_find_edit_ = nullptr;
    QAction* action_find_clear_ = nullptr;
    QAction* action_select_dir_ = nullptr;
    QAction* action_close_ = nullptr;
    QAction* action_convert_ = nullptr;
    QAction* action_save_over_ = nullptr;
    QAction* action_save_new_ = nullptr;
    QAction* action_load_ = nullptr;
    QAction* action_create_ = nullptr;
    QAction* menu_help_brindle_ = nullptr;
    QAction* menu_help_version_ = nullptr;

    TDbxGrid* dbx_grid_ = nullptr;
    TFindTypeGrid* find_grid_ = nullptr;
    QLineEdit* edit_save_dir_ = nullptr;
    RadioGroup* radio_group_naming_ = nullptr;
    QCheckBox* check_box_create_dir_ = nullptr;
    QPushButton* btn_convert_ = nullptr;
    QPushButton* btn_close_ = nullptr;
};

}  // namespace brindle
