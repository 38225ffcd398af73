#include "ui/grid_view.hpp"

#include <QHeaderView>
#include <algorithm>

namespace brindle {

GridView::GridView(QWidget* parent) : QTableView(parent) {
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false);
    setWordWrap(false);
    setTextElideMode(Qt::ElideNone);
    verticalHeader()->hide();
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setHighlightSections(false);
}

int GridView::CurrentDataRow() const {
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() : -1;
}

int GridView::SelectedDataRow() const {
    const QModelIndex current = currentIndex();
    if (!current.isValid() || selectionModel() == nullptr ||
        !selectionModel()->isRowSelected(current.row(), current.parent())) {
        return -1;
    }
    return current.row();
}

void GridView::SetCurrentDataRow(int row) {
    if (model() == nullptr || row < 0 || row >= model()->rowCount()) {
        return;
    }
    setCurrentIndex(model()->index(row, 0));
}

int GridView::ClientWidth() const {
    return viewport()->width();
}

QSize GridView::sizeHint() const {
    const QSize minimum = minimumSize();
    return minimum.isEmpty() ? QTableView::sizeHint() : minimum;
}

void GridView::AttachModel(QAbstractItemModel* model) {
    setModel(model);
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this,
            [this] { remembered_row_ = std::max(CurrentDataRow(), 0); });
    connect(model, &QAbstractItemModel::modelReset, this, [this] {
        const int last = this->model()->rowCount() - 1;
        SetCurrentDataRow(std::min(remembered_row_, last));
    });
    SetCurrentDataRow(0);
}

}  // namespace brindle
