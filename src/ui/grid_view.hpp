// The look and behaviour that the source list and the condition lists share: read-only rows
// selected whole, one current row that survives the model's resets (clamped to the last row
// when rows go away, as a string grid moves its current row), rows as high as the font plus 4
// pixels, and Tab leaving the list instead of walking its cells.
#pragma once

#include <QTableView>

namespace brindle {

class GridView : public QTableView {
    Q_OBJECT

  public:
    explicit GridView(QWidget* parent);

    // The current data row, counted from 0; the list always has one while it has rows.
    int CurrentDataRow() const;
    void SetCurrentDataRow(int row);
    // The current data row while it is highlighted, else -1: a click below the rows takes the
    // highlight away but leaves the current row, and a command on "the selected row" must not
    // act on a row the user no longer sees chosen.
    int SelectedDataRow() const;

    // The width inside the list's frame, where its columns are laid out.
    int ClientWidth() const;

    // A list asks for no more room than its minimum size when it has one: a dialog's layout
    // gives it the room its form gives it, not the generous default of a scroll area.
    QSize sizeHint() const override;

  protected:
    // Takes the model (which the list owns) and follows its resets.
    void AttachModel(QAbstractItemModel* model);

  private:
    int remembered_row_ = 0;
};

}  // namespace brindle
