// The user's help: HTML pages in a folder "help" beside the program (installed as
// share/brindle/help beside bin/, copied into the build tree next to the executable). Each
// window has a help context, an anchor "context-N" in one of the pages, and F1 or the menu
// opens the page at that anchor in the program's own help window: no browser is needed, and
// none that the desktop happens to pick (a terminal editor, for one) gets the page.
#pragma once

#include <QString>
#include <QUrl>
#include <QWidget>

#include "ui/widgets.hpp"

class QTextBrowser;
class QToolButton;

namespace brindle {

// The first folder of these that holds index.html: <program folder>/help,
// <program folder>/../share/brindle/help, the source tree's docs/help. Empty when none does.
// The Japanese pages are that folder itself, the English ones its subfolder en: a language
// whose code begins with "ja" (ja, ja_JP) gets the Japanese pages, every other language the
// English ones, or the Japanese pages where the English ones are not installed. The English
// pages are looked for beside the Japanese ones found, never in another candidate, so that the
// two languages always come from one installation.
QString HelpFolder(const QString& language = QStringLiteral("ja"));

// The page and anchor of a help context inside folder (an unknown context opens the contents).
QUrl HelpUrl(const QString& folder, int context);

// The help pages in a window of their own, with back, forward and the contents page; links
// between the pages open inside it.
class THelpWindow final : public QWidget {
    Q_OBJECT

  public:
    THelpWindow(const QString& folder, QWidget* parent);
    void ShowContext(int context);

  private:
    QString folder_;
    QTextBrowser* browser_;
};

// Opens the help at the context in the help window of parent's window, made on first use. It
// is a child window of that window, so a modal dialog's help takes input while the dialog is
// open, and goes with the dialog. A missing help folder is said in a warning box.
void OpenHelp(QWidget* parent, int context);

}  // namespace brindle
