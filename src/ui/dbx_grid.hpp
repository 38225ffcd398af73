// The source list of the main window: a title row "ファイル名" / "フォルダ名" and one row per
// source mailbox of the job (at least one row, empty when there are none). It keeps nothing
// itself: every row is read from the job, and the job's change notices make it count its rows
// again and repaint.
#pragma once

#include <QAbstractTableModel>
#include <string>
#include <string_view>
#include <utility>

#include "settings/observer.hpp"
#include "ui/grid_view.hpp"

namespace brindle {

class TSettingFile;

// A source path split for display: {file name, folder}. The delimiter is the last '/'; the
// folder keeps it only when it is the root. A path without '/' (a Windows path from a job
// saved on Windows) splits at its last backslash or colon, walking Shift_JIS characters when
// the bytes are no UTF-8, so that a backslash inside a double-byte character is no delimiter;
// the folder keeps that delimiter only after a drive's colon or another backslash. A path
// without any delimiter is all file name.
std::pair<std::string, std::string> SplitSourcePath(std::string_view path);

class DbxListModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    DbxListModel(const TSettingFile& job, QObject* parent);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void Refresh();

  private:
    const TSettingFile& job_;
};

class TDbxGrid : public GridView {
    Q_OBJECT

  public:
    // The job must outlive the list.
    TDbxGrid(TSettingFile& job, QWidget* parent);

    // The current row counted as the grid counts it: row 0 is the title row, so the first
    // source is row 1.
    int Row() const { return CurrentDataRow() + 1; }
    void SetRow(int row) { SetCurrentDataRow(row - 1); }

    // Fits the second column to the rest of the list's width; nothing happens while the list
    // has no parent.
    void MatchColWidth();
    // The first widths that a window gives the columns: each half of (width minus 24).
    void SetInitialColWidths();

  private:
    class TDbxGridNotifyEvent : public TObservable {
      public:
        explicit TDbxGridNotifyEvent(TDbxGrid& grid) : grid_(grid) {}
        void Update() override;

      private:
        TDbxGrid& grid_;
    };

    DbxListModel* model_;  // owned as a child
    TDbxGridNotifyEvent listener_{*this};
    TObserverRegistration registration_;
};

}  // namespace brindle
