// The condition lists: TFindTypeGrid shows the job's conditions on the main window and follows
// the job through its change notices; TEditFindTypeGrid holds the condition dialog's own copy.
// Both show one sentence per condition (GetFindTypeString) and at least one row, so an empty
// list still shows one empty row.
#pragma once

#include <QAbstractTableModel>
#include <functional>
#include <string>
#include <vector>

#include "model/find_type.hpp"
#include "settings/observer.hpp"
#include "ui/grid_view.hpp"

namespace brindle {

class TSettingFile;

// A one-column model over a condition list that someone else holds; it keeps nothing itself.
class FindTypeListModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    using Source = std::function<const std::vector<TFindType>&()>;
    FindTypeListModel(Source source, QObject* parent);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // The list changed: rows are counted again and every row is drawn again.
    void Refresh();

  private:
    Source source_;
};

// Shared set-up of the two condition lists: one column, no title row, no grid lines between
// columns, rows that cannot be resized.
class FindTypeGridBase : public GridView {
    Q_OBJECT

  public:
    // Fits the only column to the list's width; nothing happens while the list has no parent.
    void MatchColWidth();
    // The first width that a window gives the column: the list's width minus 24.
    void SetInitialColWidths();

  protected:
    // The derived list attaches the model once its source exists.
    FindTypeGridBase(FindTypeListModel::Source source, QWidget* parent);
    FindTypeListModel& Model() { return *model_; }

  private:
    FindTypeListModel* model_;  // owned as a child
};

class TFindTypeGrid : public FindTypeGridBase {
    Q_OBJECT

  public:
    // The job must outlive the list.
    TFindTypeGrid(TSettingFile& job, QWidget* parent);

    // The sentence that describes a condition in the window's language, in Shift_JIS: scope,
    // the text, and the flags, e.g. 本文に「abc」がある時(英大小文字を区別しない). Empty for an
    // empty text.
    static std::string GetFindTypeString(const TFindType& condition);

  private:
    class TFindTypeGridNotifyEvent : public TObservable {
      public:
        explicit TFindTypeGridNotifyEvent(TFindTypeGrid& grid) : grid_(grid) {}
        void Update() override;

      private:
        TFindTypeGrid& grid_;
    };

    TFindTypeGridNotifyEvent listener_{*this};
    TObserverRegistration registration_;
};

class TEditFindTypeGrid : public FindTypeGridBase {
    Q_OBJECT

  public:
    explicit TEditFindTypeGrid(QWidget* parent);

    // Appends the condition unless an equal one is listed already.
    void AddFindType(const TFindType& condition);
    // Removes the condition of that row; a row without a condition changes nothing.
    void DeleteFindType(int row);
    void ClearFindTypes();
    // Takes the list as it is, duplicates included.
    void SetFindTypes(const std::vector<TFindType>& conditions);
    std::vector<TFindType> GetFindTypes() const { return conditions_; }

  private:
    std::vector<TFindType> conditions_;
};

}  // namespace brindle
