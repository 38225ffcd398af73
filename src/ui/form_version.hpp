// The version dialog "バージョン情報": the product name with its file version and the licence.
// Nothing else: the project has no web page of its own to point to.
#pragma once

#include <QDialog>
#include <optional>

#include "ui/app_info.hpp"

namespace brindle {

class TFormVersion : public QDialog {
    Q_OBJECT

  public:
    // Raises Exception "バージョン情報を取得できません" when the program has no version
    // information; the dialog then does not open.
    explicit TFormVersion(QWidget* parent);
    TFormVersion(QWidget* parent, std::optional<VersionStrings> version_strings);

  protected:
    void showEvent(QShowEvent* event) override;
};

}  // namespace brindle
