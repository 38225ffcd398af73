// The version dialog "バージョン情報": the product name with its file version, the author line
// and the web address, which opens in the browser when clicked.
#pragma once

#include <QDialog>
#include <optional>

#include "ui/app_info.hpp"

class QLabel;

namespace brindle {

class TFormVersion : public QDialog {
    Q_OBJECT

  public:
    // Raises Exception "バージョン情報を取得できません" when the program has no version
    // information; the dialog then does not open.
    explicit TFormVersion(QWidget* parent);
    TFormVersion(QWidget* parent, std::optional<VersionStrings> version_strings);

  public slots:
    // Hands the web address to the desktop; the outcome is not examined.
    void CommentsClick();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    QLabel* product_name_;
    QLabel* comments_;
};

}  // namespace brindle
