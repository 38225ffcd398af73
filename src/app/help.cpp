#include "app/help.hpp"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QShortcut>
#include <QStyle>
#include <QTextBrowser>
#include <QToolButton>
#include <QVBoxLayout>

#include "platform/language.hpp"
#include "ui/modal_service.hpp"
#include "ui/ui_text.hpp"

namespace brindle {

namespace {

// ja, ja_JP, ja-JP; not a longer code that merely begins with the same letters.
bool IsJapanese(const QString& language) {
    return language.startsWith(QStringLiteral("ja")) &&
           (language.size() == 2 || language.at(2) == u'_' || language.at(2) == u'-');
}

}  // namespace

QString HelpFolder(const QString& language) {
    const QString program_dir = QCoreApplication::applicationDirPath();
    const QStringList candidates = {
        program_dir + QStringLiteral("/help"),
        program_dir + QStringLiteral("/../share/brindle/help"),
        QStringLiteral(BRINDLE_SOURCE_HELP_DIR),
    };
    for (const QString& folder : candidates) {
        if (!QFileInfo::exists(folder + QStringLiteral("/index.html"))) {
            continue;
        }
        const QString english = folder + QStringLiteral("/en");
        if (!IsJapanese(language) && QFileInfo::exists(english + QStringLiteral("/index.html"))) {
            return QDir(english).canonicalPath();
        }
        return QDir(folder).canonicalPath();
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

THelpWindow::THelpWindow(const QString& folder, QWidget* parent)
    : QWidget(parent, Qt::Window), folder_(folder), browser_(new QTextBrowser(this)) {
    setObjectName(QStringLiteral("FormHelp"));
    setWindowTitle(WindowText(WindowMsg::HelpTitle));
    browser_->setObjectName(QStringLiteral("HelpBrowser"));
    browser_->setSearchPaths({folder});
    browser_->setOpenExternalLinks(false);

    const auto tool_button = [this](const char* name, const QString& text,
                                    QStyle::StandardPixmap icon) {
        auto* button = new QToolButton(this);
        button->setObjectName(QString::fromLatin1(name));
        button->setText(text);
        button->setIcon(style()->standardIcon(icon));
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        button->setAutoRaise(true);
        return button;
    };
    QToolButton* back =
        tool_button("BtnBack", WindowText(WindowMsg::HelpBack), QStyle::SP_ArrowBack);
    QToolButton* forward =
        tool_button("BtnForward", WindowText(WindowMsg::HelpForward), QStyle::SP_ArrowForward);
    QToolButton* home =
        tool_button("BtnHome", WindowText(WindowMsg::HelpContents), QStyle::SP_DirHomeIcon);
    back->setEnabled(false);
    forward->setEnabled(false);
    connect(back, &QToolButton::clicked, browser_, &QTextBrowser::backward);
    connect(forward, &QToolButton::clicked, browser_, &QTextBrowser::forward);
    connect(home, &QToolButton::clicked, this, [this] { ShowContext(0); });
    connect(browser_, &QTextBrowser::backwardAvailable, back, &QWidget::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, forward, &QWidget::setEnabled);
    connect(browser_, &QTextBrowser::sourceChanged, this, [this] {
        const QString title = browser_->documentTitle();
        setWindowTitle(title.isEmpty() ? WindowText(WindowMsg::HelpTitle) : title);
    });
    auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(close, &QShortcut::activated, this, &QWidget::close);

    auto* bar = new QHBoxLayout;
    bar->addWidget(back);
    bar->addWidget(forward);
    bar->addWidget(home);
    bar->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(bar);
    layout->addWidget(browser_, 1);
    resize(640, 560);
}

void THelpWindow::ShowContext(int context) {
    browser_->setSource(HelpUrl(folder_, context));
}

void OpenHelp(QWidget* parent, int context) {
    // The help set of the program's language.
    const QString folder = HelpFolder(QString::fromLatin1(LanguageCode(CurrentLanguage())));
    if (folder.isEmpty()) {
        ShowMessage(parent, MessageKind::Warning, WindowText(WindowMsg::HelpMissing));
        return;
    }
    QWidget* owner = parent != nullptr ? parent->window() : nullptr;
    THelpWindow* help = owner != nullptr
                            ? owner->findChild<THelpWindow*>(QString(), Qt::FindDirectChildrenOnly)
                            : nullptr;
    if (help == nullptr) {
        // Owned by its window, as every child widget is.
        help = new THelpWindow(folder, owner);
        help->setAttribute(Qt::WA_DeleteOnClose, owner == nullptr);
    }
    help->ShowContext(context);
    help->show();
    help->raise();
    help->activateWindow();
}

}  // namespace brindle
