// Shows one dialog or list of the program with a fixed job filled in and writes a picture of
// it: brindle_dialog_preview <find|param|version|lists> <file.png>. scripts/screenshots runs it
// under a virtual X server; it is no test.
#include <QApplication>
#include <QComboBox>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>

#include "settings/setting_file.hpp"
#include "ui/dbx_grid.hpp"
#include "ui/find_type_grid.hpp"
#include "ui/form_find.hpp"
#include "ui/form_param.hpp"
#include "ui/form_version.hpp"
#include "ui/ui_text.hpp"
#include "ui/widgets.hpp"

namespace brindle {
namespace {

std::string Sjis(const char* utf8) {
    return QStringToSjis(QString::fromUtf8(utf8)).value();
}

void FillJob(TSettingFile& job) {
    job.AddInportPath("/home/taro/.wine/drive_c/Outlook Express/受信トレイ.dbx");
    job.AddInportPath("/home/taro/メール/送信済みアイテム.dbx");
    job.AddInportPath("/mnt/backup/Inbox.dbx");
    job.SetConditions(std::vector<TFindType>{
        {0, Sjis("請求書"), false, false},
        {1, Sjis("abc"), true, false},
        {2, Sjis("^Subject: .*会議"), false, true},
        {0, Sjis("Brindle"), true, true},
    });
    job.SetNamingTypeParameter(TFindParam{Sjis("件名："), TNamingLine::NextLine, TNamingPos::Body});
}

using Maker = std::function<std::unique_ptr<QWidget>(TSettingFile&)>;

const std::map<std::string, Maker>& Makers() {
    static const std::map<std::string, Maker> makers{
        {"find",
         [](TSettingFile& job) {
             auto dialog = std::make_unique<TFormFind>(nullptr);
             dialog->SetFindTypes(job.GetConditions());
             dialog->findChild<QComboBox*>(QStringLiteral("ComboBoxFindStr"))
                 ->setEditText(QStringLiteral("見積　納品"));
             dialog->findChild<QStatusBar*>(QStringLiteral("StatusBar1"))
                 ->showMessage(WindowText(WindowMsg::HintFindText).section(QLatin1Char('|'), 1));
             return std::unique_ptr<QWidget>(std::move(dialog));
         }},
        {"param",
         [](TSettingFile& job) {
             return std::unique_ptr<QWidget>(std::make_unique<TFormParam>(job, nullptr));
         }},
        {"version",
         [](TSettingFile&) {
             return std::unique_ptr<QWidget>(std::make_unique<TFormVersion>(nullptr));
         }},
        {"lists",
         [](TSettingFile& job) {
             auto window = std::make_unique<QWidget>();
             window->setWindowTitle(QStringLiteral("Brindle"));
             auto* layout = new QVBoxLayout(window.get());
             auto* sources = new TDbxGrid(job, window.get());
             auto* conditions = new TFindTypeGrid(job, window.get());
             sources->setFixedSize(305, 97);
             conditions->setFixedSize(305, 73);
             layout->addWidget(sources);
             layout->addWidget(conditions);
             sources->SetInitialColWidths();
             conditions->SetInitialColWidths();
             return window;
         }},
    };
    return makers;
}

}  // namespace
}  // namespace brindle

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    brindle::SetCurrentLanguage(brindle::LanguageFromEnvironment());
    brindle::UseJapaneseFont();
    brindle::UseQtTexts(brindle::CurrentLanguage());
    const auto& makers = brindle::Makers();
    const auto found = argc == 3 ? makers.find(argv[1]) : makers.end();
    if (found == makers.end()) {
        std::fprintf(stderr, "usage: %s <find|param|version|lists> <file.png>\n", argv[0]);
        return 2;
    }
    brindle::TSettingFile job;
    brindle::FillJob(job);
    std::unique_ptr<QWidget> widget = found->second(job);
    widget->show();
    const QString file = QString::fromLocal8Bit(argv[2]);
    int status = 1;
    // Grabbed once the window system has shown and painted it.
    QTimer::singleShot(500, [&] {
        status = widget->grab().save(file) ? 0 : 1;
        QApplication::quit();
    });
    QApplication::exec();
    if (status != 0) {
        std::fprintf(stderr, "could not write %s\n", argv[2]);
    }
    return status;
}
