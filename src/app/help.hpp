// The user's help: HTML pages in a folder "help" beside the program (installed as
// share/brindle/help beside bin/, copied into the build tree next to the executable). Each
// window has a help context, an anchor "context-N" in one of the pages, and F1 or the menu
// opens the page at that anchor in the user's browser.
#pragma once

#include <QString>
#include <QUrl>

class QWidget;

namespace brindle {

inline constexpr int kHelpContextMain = 1;
inline constexpr int kHelpContextParameter = 9;
inline constexpr int kHelpContextConditions = 12;

// The first folder of these that holds index.html: <program folder>/help,
// <program folder>/../share/brindle/help, the source tree's docs/help. Empty when none does.
QString HelpFolder();

// The page and anchor of a help context inside folder (an unknown context opens the contents).
QUrl HelpUrl(const QString& folder, int context);

// The help context of a top-level window: its "helpContext" property when set, else by the
// dialog it is (the naming parameter and the condition dialogs), else the main window's.
int HelpContextOf(const QWidget* window);

// Opens the help at the context in the user's browser (through the modal service, so tests see
// the address). A missing help folder is said in a warning box; what the browser makes of the
// page is its own business.
void OpenHelp(QWidget* parent, int context);

}  // namespace brindle
