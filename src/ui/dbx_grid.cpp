#include "ui/dbx_grid.hpp"

#include <QHeaderView>
#include <algorithm>

#include "platform/sjis.hpp"
#include "platform/text_encoding.hpp"
#include "settings/setting_file.hpp"
#include "ui/ui_text.hpp"

namespace brindle {
namespace {

std::pair<std::string, std::string> SplitWindowsPath(std::string_view path) {
    const bool utf8 = IsValidUtf8(path);
    std::size_t delimiter = std::string_view::npos;
    for (std::size_t pos = 0; pos < path.size();) {
        const std::size_t length = utf8 ? 1 : sjis::CharLength(path, pos);
        if (length == 1 && (path[pos] == '\\' || path[pos] == ':')) {
            delimiter = pos;
        }
        pos += length;
    }
    if (delimiter == std::string_view::npos) {
        return {std::string(path), {}};
    }
    std::string file(path.substr(delimiter + 1));
    std::size_t folder_end = delimiter + 1;
    if (path[delimiter] == '\\' && delimiter > 0 && path[delimiter - 1] != ':' &&
        path[delimiter - 1] != '\\') {
        folder_end = delimiter;
    }
    return {std::move(file), std::string(path.substr(0, folder_end))};
}

}  // namespace

std::pair<std::string, std::string> SplitSourcePath(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) {
        return SplitWindowsPath(path);
    }
    return {std::string(path.substr(slash + 1)),
            std::string(path.substr(0, slash == 0 ? 1 : slash))};
}

DbxListModel::DbxListModel(const TSettingFile& job, QObject* parent)
    : QAbstractTableModel(parent), job_(job) {}

int DbxListModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) {
        return 0;
    }
    return std::max(1, static_cast<int>(job_.GetJob().InportPath.size()));
}

int DbxListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant DbxListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) {
        return {};
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignTop));
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    const std::vector<std::string>& paths = job_.GetJob().InportPath;
    const auto row = static_cast<std::size_t>(index.row());
    if (row >= paths.size()) {
        return QString();
    }
    const auto [file, folder] = SplitSourcePath(paths[row]);
    return PathToQString(index.column() == 0 ? file : folder);
}

QVariant DbxListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) {
        return {};
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    return WindowText(section == 0 ? WindowMsg::ColumnFileName : WindowMsg::ColumnFolderName);
}

void DbxListModel::Refresh() {
    beginResetModel();
    endResetModel();
}

TDbxGrid::TDbxGrid(TSettingFile& job, QWidget* parent)
    : GridView(parent),
      model_(new DbxListModel(job, this)),
      registration_(job.AddObservable(listener_)) {
    setObjectName(QStringLiteral("DbxGrid"));
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    horizontalHeader()->setFixedHeight(fontMetrics().height() + 6);
    AttachModel(model_);
}

void TDbxGrid::MatchColWidth() {
    if (parentWidget() == nullptr) {
        return;
    }
    setColumnWidth(1, std::max(0, ClientWidth() - columnWidth(0) - 3));
}

void TDbxGrid::SetInitialColWidths() {
    const int half = std::max(0, width() - 24) / 2;
    setColumnWidth(0, half);
    setColumnWidth(1, half);
}

void TDbxGrid::TDbxGridNotifyEvent::Update() {
    grid_.model_->Refresh();
    grid_.viewport()->repaint();
}

}  // namespace brindle
