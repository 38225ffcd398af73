#include "app/help.hpp"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QVariant>
#include <QWidget>

#include "ui/modal_service.hpp"

namespace brindle {

QString HelpFolder() {
    const QString program_dir = QCoreApplication::applicationDirPath();
    const QStringList candidates = {
        program_dir + QStringLiteral("/help"),
        program_dir + QStringLiteral("/../share/brindle/help"),
        QStringLiteral(BRINDLE_SOURCE_HELP_DIR),
    };
    for (const QString& folder : candidates) {
        if (QFileInfo::exists(folder + QStringLiteral("/index.html"))) {
            return QDir(folder).canonicalPath();
        }
    }
    return {};
}

QUrl HelpUrl(const QString& folder, int context) {
    QString page = QStringLiteral("index.html");
    switch (context) {
        case kHelpContextParameter:
            page = QStringLiteral("naming.html");
            break;
        case kHelpContextConditions:
            page = QStringLiteral("conditions.html");
            break;
        case kHelpContextMain:
            break;
        default:
            context = 0;
    }
    QUrl url = QUrl::fromLocalFile(QDir(folder).filePath(page));
    if (context != 0) {
        url.setFragment(QStringLiteral("context-%1").arg(context));
    }
    return url;
}

int HelpContextOf(const QWidget* window) {
    if (window == nullptr) {
        return kHelpContextMain;
    }
    const QVariant property = window->property("helpContext");
    if (property.isValid() && property.toInt() > 0) {
        return property.toInt();
    }
    const QString name = window->objectName();
    if (name == QStringLiteral("FormParam")) {
        return kHelpContextParameter;
    }
    if (name == QStringLiteral("FormFind")) {
        return kHelpContextConditions;
    }
    return kHelpContextMain;
}

void OpenHelp(QWidget* parent, int context) {
    const QString folder = HelpFolder();
    if (folder.isEmpty()) {
        ShowMessage(parent, MessageKind::Warning,
                    QStringLiteral("ヘルプファイルが見つかりません。"));
        return;
    }
    Modal().OpenWithShell(HelpUrl(folder, context).toString());
}

}  // namespace brindle
