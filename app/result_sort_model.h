// The result grid's view of its rows: in harvest order, or sorted by the
// column whose header the user clicked.
#pragma once

#include <QSortFilterProxyModel>

namespace app {

class ResultListModel;

// Sorts over the rows' own bytes, so that sorting a grid of a hundred
// thousand rows builds no text per comparison. Pos sorts by harvest order:
// the numbers a user deleted rows between keep their gaps, and Pos
// ascending is the order the rows came in. The other columns sort as text,
// without regard to ASCII case; rows with equal texts keep their harvest
// order in either direction.
class ResultSortModel final : public QSortFilterProxyModel {
    Q_OBJECT

public:
    explicit ResultSortModel(ResultListModel& rows, QObject* parent = nullptr);

    // The row of the rows' model shown at view row `row`; -1 when there is
    // none.
    int sourceRow(int row) const;

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    ResultListModel& rows_;
};

}  // namespace app
