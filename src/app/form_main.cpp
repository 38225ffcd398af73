#include "app/form_main.hpp"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>
#include <optional>
#include <span>

#include "app/form_convert.hpp"
#include "app/help.hpp"
#include "job/job_setup.hpp"
#include "mailbox/store_finder.hpp"
#include "mailbox/store_folder.hpp"
#include "platform/exception.hpp"
#include "platform/wine_registry.hpp"
#include "ui/dbx_grid.hpp"
#include "ui/find_type_grid.hpp"
#include "ui/form_find.hpp"
#include "ui/form_param.hpp"
#include "ui/form_version.hpp"
#include "ui/modal_service.hpp"
#include "ui/ui_text.hpp"
#include "ui/widgets.hpp"

namespace brindle {
namespace {

constexpr int kMinimumHeight = 350;

// Where the open dialog starts when the job has no mailbox yet: the store that the Wine
// prefix's registry names, else the first store found in a prefix or on a mounted disk.
std::optional<std::filesystem::path> FirstStoreFolder() {
    if (const auto prefix = DefaultWinePrefix()) {
        if (auto store = OutlookExpressStoreFolder(*prefix)) {
            return store;
        }
    }
    const std::vector<TFoundStore> found = FindStores(TStoreSearch::Defaults());
    if (found.empty()) {
        return std::nullopt;
    }
    return found.front().folder;
}

// The mailboxes of a folder (a store folder), sorted by name; its other files are left out.
QStringList MailboxesIn(const QString& folder) {
    QStringList paths;
    try {
        for (const std::string& mailbox : ScanStoreFolder(QStringToPath(folder)).mailboxes) {
            paths.append(PathToQString(mailbox));
        }
    } catch (const Exception&) {
        // A folder that cannot be read gives nothing to add.
    }
    return paths;
}

// The .dbx files among dropped URLs, and the mailboxes of dropped folders, in their order.
QStringList DroppedMailboxes(const QMimeData* mime) {
    QStringList paths;
    if (mime == nullptr || !mime->hasUrls()) {
        return paths;
    }
    for (const QUrl& url : mime->urls()) {
        const QString path = url.toLocalFile();
        if (path.isEmpty()) {
            continue;
        }
        const QFileInfo info(path);
        if (info.isDir()) {
            paths.append(MailboxesIn(path));
        } else if (IsMailboxName(path) && info.isFile()) {
            paths.append(path);
        }
    }
    return paths;
}

// The error box's text for a job that cannot run. The parser's words for an invalid regular
// expression ("右(閉じ)括弧が必要です") do not say which condition is meant, so the box adds its
// row in the list and its text, and the place of the fault.
QString ProblemText(const TJobData& job, const TJobProblem& problem) {
    const QString message = QString::fromUtf8(problem.message);
    const std::vector<TFindType>& conditions = job.ConditionList;
    for (std::size_t i = 0; i < conditions.size(); ++i) {
        const auto own = CheckConditions(std::span(&conditions[i], 1));
        if (!own || *own != problem) {
            continue;
        }
        const QString text = SjisToQString(conditions[i].Condition);
        const QString detail = QString::fromUtf8(problem.detail);
        const QString place = detail.startsWith(text) ? detail.mid(text.size()) : QString();
        return WindowText(
            WindowMsg::ConditionNotRegexp,
            {{"row", QString::number(i + 1)}, {"condition", text}, {"reason", message + place}});
    }
    return message;
}

}  // namespace

bool IsMailboxName(const QString& path) {
    return path.endsWith(QStringLiteral(".dbx"), Qt::CaseInsensitive);
}

bool CanOpenTogether(const QStringList& files) {
    return files.size() <= 1 || std::all_of(files.begin(), files.end(), IsMailboxName);
}

void TFormMainNotifyEvent::Update() {
    form_.Refresh();
}

TFormMain::TFormMain(TSettingFile& settings, QWidget* parent)
    : QMainWindow(parent), settings_(settings), listener_(*this) {
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(QApplication::applicationName());
    registration_ = settings_.AddObservable(listener_);

    const QString sources = WindowText(WindowMsg::CategorySources);
    const QString conditions = WindowText(WindowMsg::CategoryConditions);
    const QString destination = WindowText(WindowMsg::CategoryDestination);
    const QString save = WindowText(WindowMsg::CategorySave);
    action_dbx_select_ = MakeAction("ActionDbxSelect", WindowText(WindowMsg::ActionBrowseSources),
                                    {}, sources, WindowText(WindowMsg::HintBrowseSources));
    action_dbx_folder_ = MakeAction("ActionDbxFolderAdd", WindowText(WindowMsg::ActionAddFolder),
                                    {}, sources, WindowText(WindowMsg::HintAddFolder));
    action_dbx_delete_ =
        MakeAction("ActionDbxDelete", WindowText(WindowMsg::ActionRemoveSource), {}, sources);
    action_find_edit_ =
        MakeAction("ActionFindEdit", WindowText(WindowMsg::ActionEditConditions), Qt::Key_F7,
                   conditions, WindowText(WindowMsg::HintEditConditions));
    action_find_clear_ = MakeAction("ActionFindClear", WindowText(WindowMsg::ActionClearConditions),
                                    {}, conditions, WindowText(WindowMsg::HintClearConditions));
    action_select_dir_ = MakeAction(
        "ActionSelectDir", WindowText(WindowMsg::ActionBrowseDestination), {}, destination);
    action_close_ = MakeAction("ActionClose", WindowText(WindowMsg::ActionClose), {}, {});
    action_convert_ =
        MakeAction("ActionConvert", WindowText(WindowMsg::ActionConvert), Qt::Key_F5, {});
    action_save_over_ = MakeAction("ActionSettingFileSaveOver", WindowText(WindowMsg::ActionSave),
                                   QKeySequence(Qt::CTRL | Qt::Key_S), save);
    action_save_new_ =
        MakeAction("ActionSettingFileSaveNew", WindowText(WindowMsg::ActionSaveAs), {}, save);
    action_load_ = MakeAction("ActionSettingFileLoad", WindowText(WindowMsg::ActionOpen),
                              QKeySequence(Qt::CTRL | Qt::Key_O), save);
    action_create_ = MakeAction("ActionSettingFileCreate", WindowText(WindowMsg::ActionNew),
                                QKeySequence(Qt::CTRL | Qt::Key_N), save);
    menu_help_brindle_ =
        MakeAction("MenuHelpBrindle", WindowText(WindowMsg::HelpTitle), Qt::Key_F1, {});
    menu_help_version_ = MakeAction("MenuHelpVersion", WindowText(WindowMsg::ActionAbout), {}, {});

    connect(action_dbx_select_, &QAction::triggered, this, &TFormMain::ActionDbxSelectExecute);
    connect(action_dbx_folder_, &QAction::triggered, this, &TFormMain::ActionDbxFolderAddExecute);
    connect(action_dbx_delete_, &QAction::triggered, this, &TFormMain::ActionDbxDeleteExecute);
    connect(action_find_edit_, &QAction::triggered, this, &TFormMain::ActionFindEditExecute);
    connect(action_find_clear_, &QAction::triggered, this, &TFormMain::ActionFindClearExecute);
    connect(action_select_dir_, &QAction::triggered, this, &TFormMain::ActionSelectDirExecute);
    connect(action_close_, &QAction::triggered, this, &QWidget::close);
    connect(action_convert_, &QAction::triggered, this, &TFormMain::ActionConvertExecute);
    connect(action_save_over_, &QAction::triggered, this,
            &TFormMain::ActionSettingFileSaveOverExecute);
    connect(action_save_new_, &QAction::triggered, this,
            &TFormMain::ActionSettingFileSaveNewExecute);
    connect(action_load_, &QAction::triggered, this, &TFormMain::ActionSettingFileLoadExecute);
    connect(action_create_, &QAction::triggered, this, &TFormMain::ActionSettingFileCreateExecute);
    connect(menu_help_brindle_, &QAction::triggered, this, &TFormMain::MenuHelpBrindleClick);
    connect(menu_help_version_, &QAction::triggered, this, &TFormMain::MenuHelpVersionClick);

    CreateMenus();
    setCentralWidget(CreateControls());
    statusBar()->setObjectName(QStringLiteral("StatusBar1"));
    statusBar()->setSizeGripEnabled(true);

    setAcceptDrops(true);
    resize(456, 386);
    setMinimumHeight(kMinimumHeight);
    // F1 inside a modal dialog (the parameter and condition dialogs) opens that dialog's help;
    // the main window's own F1 is its menu shortcut.
    qApp->installEventFilter(this);
    Refresh();
}

TFormMain::~TFormMain() {
    if (qApp != nullptr) {
        qApp->removeEventFilter(this);
    }
    // The destination box loses the focus while the window's widgets are destroyed, and its
    // editingFinished would then reach a window that is no TFormMain any more.
    disconnect(edit_save_dir_, nullptr, this, nullptr);
}

QAction* TFormMain::MakeAction(const char* name, const QString& caption,
                               const QKeySequence& shortcut, const QString& category,
                               const QString& hint) {
    auto* action = new QAction(caption, this);
    action->setObjectName(QString::fromLatin1(name));
    if (!shortcut.isEmpty()) {
        action->setShortcut(shortcut);
        action->setShortcutContext(Qt::WindowShortcut);
    }
    if (!category.isEmpty()) {
        action->setProperty("category", category);
    }
    if (!hint.isEmpty()) {
        const qsizetype bar = hint.indexOf(QLatin1Char('|'));
        action->setToolTip(hint.left(bar));
        action->setStatusTip(hint.mid(bar + 1));
    }
    addAction(action);  // shortcuts work wherever the focus is in the window
    // A shortcut leaves the focus where it is, so the destination being typed would not be
    // stored yet; every command takes it first, as leaving the box does. Connected before the
    // command's own slot, so it runs first.
    connect(action, &QAction::triggered, this, &TFormMain::EditSaveDirExit);
    return action;
}

void TFormMain::CreateMenus() {
    QMenu* file = menuBar()->addMenu(WindowText(WindowMsg::MenuFile));
    file->setObjectName(QStringLiteral("MenuFile"));
    file->addAction(action_create_);
    file->addAction(action_load_);
    file->addAction(action_save_over_);
    file->addAction(action_save_new_);
    file->addSeparator();
    QMenu* source = file->addMenu(WindowText(WindowMsg::MenuSources));
    source->addAction(action_dbx_select_);
    source->addAction(action_dbx_folder_);
    source->addAction(action_dbx_delete_);
    QMenu* destination = file->addMenu(WindowText(WindowMsg::MenuDestination));
    destination->addAction(action_select_dir_);
    file->addSeparator();
    file->addAction(action_convert_);
    file->addSeparator();
    file->addAction(action_close_);

    QMenu* conditions = menuBar()->addMenu(WindowText(WindowMsg::MenuConditions));
    conditions->setObjectName(QStringLiteral("MenuFind"));
    conditions->addAction(action_find_edit_);
    conditions->addAction(action_find_clear_);

    QMenu* help = menuBar()->addMenu(WindowText(WindowMsg::MenuHelp));
    help->setObjectName(QStringLiteral("MenuHelp"));
    help->addAction(menu_help_brindle_);
    help->addAction(menu_help_version_);
}

QWidget* TFormMain::CreateControls() {
    auto* central = new QWidget(this);
    auto* grid = new QGridLayout(central);
    grid->setContentsMargins(8, 8, 8, 4);
    grid->setHorizontalSpacing(7);
    grid->setVerticalSpacing(7);
    grid->setColumnStretch(1, 1);

    // A speed button bound to its action: caption, hint and enabling follow the action.
    auto speed_button = [central](QAction* action, const char* name) {
        auto* button = new QToolButton(central);
        button->setObjectName(QString::fromLatin1(name));
        button->setDefaultAction(action);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        button->setMinimumWidth(57);
        button->setFocusPolicy(Qt::NoFocus);
        // A tool button shows its action's text without the '&' and so has no mnemonic; given
        // the text with it, the button underlines the letter and Alt+letter clicks it. The
        // button takes its action's text again on every change of the action.
        const auto keep_mnemonic = [button, action] { button->setText(action->text()); };
        keep_mnemonic();
        connect(action, &QAction::changed, button, keep_mnemonic);
        return button;
    };

    auto* label1 = new QLabel(WindowText(WindowMsg::LabelSources), central);
    label1->setObjectName(QStringLiteral("Label1"));
    dbx_grid_ = new TDbxGrid(settings_, central);
    dbx_grid_->setObjectName(QStringLiteral("DbxGrid"));
    // Anchored at the top: a taller window gives its room to the conditions, not to the sources.
    dbx_grid_->setFixedHeight(97);
    SetHint(*dbx_grid_, WindowText(WindowMsg::HintSources));
    dbx_grid_->setContextMenuPolicy(Qt::ActionsContextMenu);
    dbx_grid_->addAction(action_dbx_select_);
    dbx_grid_->addAction(action_dbx_delete_);
    auto* source_buttons = new QVBoxLayout;
    source_buttons->addSpacing(16);
    source_buttons->addWidget(speed_button(action_dbx_select_, "BtnSelectDbx"));
    source_buttons->addWidget(speed_button(action_dbx_delete_, "BtnDeleteDbx"));
    source_buttons->addStretch();
    grid->addWidget(label1, 0, 0, Qt::AlignTop);
    grid->addWidget(dbx_grid_, 0, 1);
    grid->addLayout(source_buttons, 0, 2);

    auto* label2 = new QLabel(WindowText(WindowMsg::LabelDestination), central);
    label2->setObjectName(QStringLiteral("Label2"));
    edit_save_dir_ = new QLineEdit(central);
    edit_save_dir_->setObjectName(QStringLiteral("EditSaveDir"));
    SetHint(*edit_save_dir_, WindowText(WindowMsg::HintDestination));
    label2->setBuddy(edit_save_dir_);
    connect(edit_save_dir_, &QLineEdit::editingFinished, this, &TFormMain::EditSaveDirExit);
    grid->addWidget(label2, 1, 0);
    grid->addWidget(edit_save_dir_, 1, 1);
    grid->addWidget(speed_button(action_select_dir_, "BtnSaveDir"), 1, 2);

    radio_group_naming_ =
        new RadioGroup(WindowText(WindowMsg::GroupNaming),
                       {WindowText(WindowMsg::NamingNumber), WindowText(WindowMsg::NamingSubject),
                        WindowText(WindowMsg::NamingParameter)},
                       3, central);
    radio_group_naming_->setObjectName(QStringLiteral("RadioGroupNaming"));
    SetHint(*radio_group_naming_, WindowText(WindowMsg::HintNaming));
    radio_group_naming_->SetItemIndex(0);
    connect(radio_group_naming_, &RadioGroup::Click, this, &TFormMain::RadioGroupNamingClick);
    auto* naming_row = new QHBoxLayout;
    naming_row->addWidget(radio_group_naming_);
    naming_row->addStretch();
    grid->addLayout(naming_row, 2, 1);

    check_box_create_dir_ = new QCheckBox(WindowText(WindowMsg::CheckCreateDir), central);
    check_box_create_dir_->setObjectName(QStringLiteral("CheckBoxCreateDir"));
    SetHint(*check_box_create_dir_, WindowText(WindowMsg::HintCreateDir));
    connect(check_box_create_dir_, &QCheckBox::clicked, this, &TFormMain::CheckBoxCreateDirClick);
    grid->addWidget(check_box_create_dir_, 3, 1);

    auto* label3 = new QLabel(WindowText(WindowMsg::LabelConditions), central);
    label3->setObjectName(QStringLiteral("Label3"));
    find_grid_ = new TFindTypeGrid(settings_, central);
    find_grid_->setObjectName(QStringLiteral("FindTypeGrid"));
    find_grid_->setMinimumHeight(57);
    SetHelpContext(*find_grid_, kHelpContextConditions);
    SetHint(*find_grid_, WindowText(WindowMsg::HintConditions));
    find_grid_->setContextMenuPolicy(Qt::ActionsContextMenu);
    find_grid_->addAction(action_find_edit_);
    find_grid_->addAction(action_find_clear_);
    auto* find_buttons = new QVBoxLayout;
    find_buttons->addWidget(speed_button(action_find_edit_, "BtnFind"));
    find_buttons->addWidget(speed_button(action_find_clear_, "SpeedButton1"));
    find_buttons->addStretch();
    grid->addWidget(label3, 4, 0, Qt::AlignTop);
    grid->addWidget(find_grid_, 4, 1);
    grid->addLayout(find_buttons, 4, 2);
    grid->setRowStretch(4, 1);

    btn_convert_ = new QPushButton(WindowText(WindowMsg::ButtonConvert), central);
    btn_convert_->setObjectName(QStringLiteral("BtnConvert"));
    btn_convert_->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    btn_convert_->setMinimumWidth(75);
    connect(btn_convert_, &QPushButton::clicked, action_convert_, &QAction::trigger);
    btn_close_ = new QPushButton(WindowText(WindowMsg::ButtonQuit), central);
    btn_close_->setObjectName(QStringLiteral("BtnClose"));
    btn_close_->setMinimumWidth(75);
    SetHint(*btn_close_, WindowText(WindowMsg::HintQuit));
    connect(btn_close_, &QPushButton::clicked, this, &QWidget::close);
    // Anchored at the right edge, however wide the window.
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(btn_convert_);
    bottom->addWidget(btn_close_);
    grid->addLayout(bottom, 5, 0, 1, 3);

    setTabOrder(dbx_grid_, edit_save_dir_);
    setTabOrder(edit_save_dir_, radio_group_naming_);
    setTabOrder(radio_group_naming_, check_box_create_dir_);
    setTabOrder(check_box_create_dir_, find_grid_);
    setTabOrder(find_grid_, btn_convert_);
    setTabOrder(btn_convert_, btn_close_);
    return central;
}

void TFormMain::Refresh() {
    const QString export_path = PathToQString(settings_.GetExportPath());
    if (edit_save_dir_->text() != export_path) {
        edit_save_dir_->setText(export_path);
    }
    const int naming = static_cast<int>(settings_.GetNamingType());
    if (radio_group_naming_->ItemIndex() != naming) {
        // Written by the window itself: no parameter dialog for this change.
        const bool was = guard_;
        guard_ = true;
        radio_group_naming_->SetItemIndex(naming);
        guard_ = was;
    }
    check_box_create_dir_->setChecked(settings_.GetCreateDir());
    QString caption = QApplication::applicationName();
    if (!settings_.GetFileName().empty() && settings_.GetModified()) {
        caption += QStringLiteral("(*)");
    }
    setWindowTitle(caption);
}

void TFormMain::ShowStatus(const QString& text) {
    statusBar()->showMessage(text);
}

void TFormMain::ActionDbxSelectExecute() {
    FileRequest request;
    request.directory = open_dialog_folder_;
    const std::vector<std::string> sources = settings_.GetInportPaths();
    if (!sources.empty()) {
        request.directory = QFileInfo(PathToQString(sources.front())).absolutePath();
    } else if (const auto store = FirstStoreFolder()) {
        request.directory = PathToQString(store->string());
        request.file_name.clear();
    }
    request.filter = WindowText(WindowMsg::FilterMailboxes);
    const QStringList chosen = Modal().GetOpenFileNames(this, request);
    if (chosen.isEmpty()) {
        return;
    }
    open_dialog_folder_ = QFileInfo(chosen.front()).absolutePath();
    for (const QString& path : chosen) {
        settings_.AddInportPath(QStringToPath(path));
    }
    dbx_grid_->MatchColWidth();
}

void TFormMain::ActionDbxFolderAddExecute() {
    FileRequest request;
    request.caption = WindowText(WindowMsg::ChooseFolderToAdd);
    request.directory = open_dialog_folder_;
    if (request.directory.isEmpty()) {
        if (const auto store = FirstStoreFolder()) {
            request.directory = PathToQString(store->string());
        }
    }
    const QString folder = Modal().GetExistingDirectory(this, request);
    if (folder.isEmpty()) {
        return;
    }
    open_dialog_folder_ = folder;
    const QStringList mailboxes = MailboxesIn(folder);
    for (const QString& path : mailboxes) {
        settings_.AddInportPath(QStringToPath(path));
    }
    dbx_grid_->MatchColWidth();
    ShowStatus(mailboxes.isEmpty() ? WindowText(WindowMsg::FolderHasNoMailboxes)
                                   : WindowText(WindowMsg::MailboxesAdded,
                                                {{"count", QString::number(mailboxes.size())}}));
}

void TFormMain::ActionDbxDeleteExecute() {
    const int row = dbx_grid_->SelectedDataRow();
    if (row >= 0) {
        settings_.DeleteInportPath(static_cast<std::size_t>(row));
    }
}

void TFormMain::ActionSelectDirExecute() {
    FileRequest request;
    request.caption = WindowText(WindowMsg::ChooseDestination);
    request.directory = edit_save_dir_->text();
    const QString folder = Modal().GetExistingDirectory(this, request);
    if (!folder.isEmpty()) {
        settings_.SetExportPath(QStringToPath(folder));
    }
}

void TFormMain::EditSaveDirExit() {
    const std::string text = QStringToPath(edit_save_dir_->text());
    if (text != settings_.GetExportPath()) {
        settings_.SetExportPath(text);
    }
}

void TFormMain::RadioGroupNamingClick(int index) {
    if (guard_) {
        return;
    }
    const auto type = static_cast<TNamingType>(index);
    if (type == TNamingType::Number || type == TNamingType::Subject) {
        settings_.SetNamingType(type);
        return;
    }
    if (type != TNamingType::Parameter) {
        return;
    }
    TFormParam dialog(settings_, this);
    if (dialog.exec() == QDialog::Accepted) {
        guard_ = true;
        settings_.SetNamingTypeParameter(dialog.GetFindParam());
        settings_.SetNamingType(TNamingType::Parameter);
        guard_ = false;
        return;
    }
    guard_ = true;
    radio_group_naming_->SetItemIndex(static_cast<int>(settings_.GetNamingType()));
    guard_ = false;
    radio_group_naming_->setFocus();
}

void TFormMain::CheckBoxCreateDirClick() {
    settings_.SetCreateDir(check_box_create_dir_->isChecked());
}

void TFormMain::ActionFindEditExecute() {
    TFormFind dialog(this);
    dialog.SetFindTypes(settings_.GetConditions());
    if (dialog.exec() == QDialog::Accepted) {
        const std::vector<TFindType> conditions = dialog.GetFindTypes();
        settings_.SetConditions(conditions);
    }
}

void TFormMain::ActionFindClearExecute() {
    settings_.SetConditions({});
}

void TFormMain::ActionSettingFileCreateExecute() {
    settings_.Clear();
}

bool TFormMain::LoadSettingFile(const QString& file_name) {
    guard_ = true;
    const bool loaded = settings_.Load(QStringToPath(file_name));
    guard_ = false;
    ShowStatus(loaded ? WindowText(WindowMsg::SettingFileOpened)
                      : WindowText(WindowMsg::SettingFileNotOpened));
    return loaded;
}

void TFormMain::OpenFiles(const QStringList& files) {
    if (files.isEmpty()) {
        return;
    }
    if (CanOpenTogether(files) && IsMailboxName(files.front())) {
        for (const QString& path : files) {
            settings_.AddInportPath(QStringToPath(QFileInfo(path).absoluteFilePath()));
        }
        dbx_grid_->MatchColWidth();
        return;
    }
    if (files.size() == 1) {
        LoadSettingFile(files.front());
    }
}

void TFormMain::ActionSettingFileLoadExecute() {
    FileRequest request;
    request.filter = WindowText(WindowMsg::FilterSettingFiles);
    request.default_suffix = QStringLiteral("xml");
    const QString file_name = Modal().GetOpenFileName(this, request);
    if (!file_name.isEmpty()) {
        LoadSettingFile(file_name);
    }
}

void TFormMain::SaveAs(const QString& file_name) {
    ShowStatus(settings_.Save(QStringToPath(file_name))
                   ? WindowText(WindowMsg::SettingFileSaved)
                   : WindowText(WindowMsg::SettingFileNotSaved));
}

bool TFormMain::RefusedTarget(const QString& file_name) {
    const auto refusal = TSettingFile::ReplaceRefusal(QStringToPath(file_name));
    if (refusal) {
        ShowMessage(this, MessageKind::Error, QString::fromUtf8(refusal->Render()));
    }
    return refusal.has_value();
}

void TFormMain::ActionSettingFileSaveNewExecute() {
    FileRequest request;
    request.filter = WindowText(WindowMsg::FilterSettingFiles);
    request.default_suffix = QStringLiteral("xml");
    const QString file_name = Modal().GetSaveFileName(this, request);
    if (file_name.isEmpty() || RefusedTarget(file_name)) {
        return;
    }
    if (QFileInfo::exists(file_name) &&
        ShowMessage(this, MessageKind::Question, WindowText(WindowMsg::SettingFileExists),
                    MessageButton::Yes | MessageButton::No | MessageButton::Cancel) !=
            MessageButton::Yes) {
        return;
    }
    SaveAs(file_name);
}

void TFormMain::ActionSettingFileSaveOverExecute() {
    const std::string file_name = settings_.GetFileName();
    if (file_name.empty() || !QFileInfo(PathToQString(file_name)).isFile()) {
        ActionSettingFileSaveNewExecute();
        return;
    }
    // The file may have been replaced since it was opened or saved.
    if (!RefusedTarget(PathToQString(file_name))) {
        SaveAs(PathToQString(file_name));
    }
}

void TFormMain::ValidationError(const QString& text) {
    ShowMessage(this, MessageKind::Error, text, MessageButton::Cancel);
}

void TFormMain::ActionConvertExecute() {
    // The destination and the naming rule as the controls show them, the rest as the job holds.
    TJobData job = settings_.GetJob();
    job.ExportPath = QStringToPath(edit_save_dir_->text());
    job.NamingType = static_cast<TNamingType>(std::max(0, radio_group_naming_->ItemIndex()));
    if (const auto problem = CheckJob(job)) {
        ValidationError(ProblemText(job, *problem));
        return;
    }
    TFormConvert dialog(MakeConvertJob(job), this);
    if (convert_hook_) {
        convert_hook_(dialog);
    }
    dialog.exec();
}

void TFormMain::MenuHelpBrindleClick() {
    // The context of the control with the focus (the condition list has the conditions' page).
    OpenHelp(this, HelpContextOf(focusWidget()));
}

void TFormMain::MenuHelpVersionClick() {
    TFormVersion dialog(this);
    dialog.exec();
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1 &&
        static_cast<QKeyEvent*>(event)->modifiers() == Qt::NoModifier) {
        QWidget* window = QApplication::activeModalWidget();
        if (window != nullptr && window != this && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->window() == window) {
            QWidget* focus = QApplication::focusWidget();
            OpenHelp(window,
                     HelpContextOf(focus != nullptr && focus->window() == window ? focus : window));
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TFormMain::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppedMailboxes(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void TFormMain::dropEvent(QDropEvent* event) {
    const QStringList paths = DroppedMailboxes(event->mimeData());
    if (paths.isEmpty()) {
        return;
    }
    for (const QString& path : paths) {
        settings_.AddInportPath(QStringToPath(path));
    }
    dbx_grid_->MatchColWidth();
    event->acceptProposedAction();
}

void TFormMain::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    // The minimum height keeps the window at 350 pixels or more; the lists fit their columns
    // once they have their first widths (showEvent).
    if (columns_set_) {
        dbx_grid_->MatchColWidth();
        find_grid_->MatchColWidth();
    }
}

void TFormMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!columns_set_) {
        // The layout gives the lists their widths when the window first appears.
        centralWidget()->layout()->activate();
        columns_set_ = true;
        dbx_grid_->SetInitialColWidths();
        find_grid_->SetInitialColWidths();
    }
}

}  // namespace brindle
