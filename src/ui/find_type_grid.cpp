#include "ui/find_type_grid.hpp"

#include <QHeaderView>
#include <algorithm>

#include "platform/text_encoding.hpp"
#include "settings/setting_file.hpp"
#include "ui/ui_text.hpp"
#include "ui/window_messages.hpp"

namespace brindle {
FindTypeListModel::FindTypeListModel(Source source, QObject* parent)
    : QAbstractTableModel(parent), source_(std::move(source)) {}

int FindTypeListModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) {
        return 0;
    }
    return std::max(1, static_cast<int>(source_().size()));
}

int FindTypeListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 1;
}

QVariant FindTypeListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) {
        return {};
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignTop));
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    const std::vector<TFindType>& conditions = source_();
    const auto row = static_cast<std::size_t>(index.row());
    if (row >= conditions.size()) {
        return QString();
    }
    return SjisToQString(TFindTypeGrid::GetFindTypeString(conditions[row]));
}

void FindTypeListModel::Refresh() {
    beginResetModel();
    endResetModel();
}

FindTypeGridBase::FindTypeGridBase(FindTypeListModel::Source source, QWidget* parent)
    : GridView(parent), model_(new FindTypeListModel(std::move(source), this)) {
    setShowGrid(false);
    horizontalHeader()->hide();
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
}

void FindTypeGridBase::MatchColWidth() {
    if (parentWidget() == nullptr) {
        return;
    }
    setColumnWidth(0, std::max(0, ClientWidth() - 3));
}

void FindTypeGridBase::SetInitialColWidths() {
    setColumnWidth(0, std::max(0, width() - 24));
}

TFindTypeGrid::TFindTypeGrid(TSettingFile& job, QWidget* parent)
    : FindTypeGridBase(
          [&job]() -> const std::vector<TFindType>& { return job.GetJob().ConditionList; }, parent),
      registration_(job.AddObservable(listener_)) {
    setObjectName(QStringLiteral("FindTypeGrid"));
    AttachModel(&Model());
}

void TFindTypeGrid::TFindTypeGridNotifyEvent::Update() {
    grid_.Model().Refresh();
    grid_.viewport()->repaint();
}

std::string TFindTypeGrid::GetFindTypeString(const TFindType& condition) {
    static constexpr WindowMsg kScopes[] = {WindowMsg::ScopeBodyAndHeader, WindowMsg::ScopeBody,
                                            WindowMsg::ScopeHeader};
    if (condition.Condition.empty()) {
        return {};
    }
    // The condition's bytes are Shift_JIS and go in unchanged (a trail byte may be a brace or a
    // backslash): the sentence is worded around a mark, and the bytes take the mark's place.
    constexpr char kMark = '\x01';
    const Language language = CurrentLanguage();
    const std::string scope = condition.FindPos < std::size(kScopes)
                                  ? TextIn(Text(kScopes[condition.FindPos]), language)
                                  : "";
    std::string sentence =
        Msg(WindowMsg::ConditionSentence, {{"scope", scope}, {"text", std::string(1, kMark)}})
            .Render(language);
    if (condition.Capital) {
        sentence += TextIn(Text(WindowMsg::ConditionIgnoresCase), language);
    }
    if (condition.Regexp) {
        sentence += TextIn(Text(WindowMsg::ConditionIsRegexp), language);
    }
    std::string sjis = Utf8ToCp932(sentence).value_or(std::string{});
    if (const std::size_t mark = sjis.find(kMark); mark != std::string::npos) {
        sjis.replace(mark, 1, condition.Condition);
    }
    return sjis;
}

TEditFindTypeGrid::TEditFindTypeGrid(QWidget* parent)
    : FindTypeGridBase([this]() -> const std::vector<TFindType>& { return conditions_; }, parent) {
    // Only now that the list exists may the model ask it for its rows.
    AttachModel(&Model());
}

void TEditFindTypeGrid::AddFindType(const TFindType& condition) {
    if (std::find(conditions_.begin(), conditions_.end(), condition) != conditions_.end()) {
        return;
    }
    conditions_.push_back(condition);
    Model().Refresh();
}

void TEditFindTypeGrid::DeleteFindType(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= conditions_.size()) {
        return;
    }
    conditions_.erase(conditions_.begin() + row);
    Model().Refresh();
}

void TEditFindTypeGrid::ClearFindTypes() {
    conditions_.clear();
    Model().Refresh();
}

void TEditFindTypeGrid::SetFindTypes(const std::vector<TFindType>& conditions) {
    conditions_ = conditions;
    Model().Refresh();
}

}  // namespace brindle
