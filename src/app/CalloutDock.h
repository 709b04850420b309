#pragma once
#include "records/CalloutTable.h"

#include <QDockWidget>
#include <QPointer>
#include <vector>

class SceneNode;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;
class ModelView;

// The "Callouts" dock: the callout table of the active window (a row per banner; for each
// distance its two points and the distance itself) with each point's status against the
// current tolerances and an editable comment. Selecting a row selects its banner or distance
// in the view, and selecting one in the view selects its row.
class CalloutDock : public QDockWidget {
  Q_OBJECT
public:
  enum Column { Id, X, Y, Z, Deviation, Status, Comment, ColumnCount };

  explicit CalloutDock(QWidget *parent = nullptr);

  // Shows the callouts of this view (null: none) and follows its changes.
  void setView(ModelView *view);
  QTableWidget *table() const { return table_; }
  // The banner or distance a row shows; null outside the table.
  SceneNode *nodeAt(int row) const;
  // Rebuilds the rows from the view.
  void refresh();

signals:
  // The dock's "Export callouts..." button.
  void exportRequested();

private:
  void fillRows();
  void selectRowOfView();
  void selectInView();
  void commentEdited(QTableWidgetItem *item);

  QPointer<ModelView> view_;
  QTableWidget *table_;
  QPushButton *export_;
  std::vector<SceneNode *> nodes_;
  std::vector<CalloutRow::Kind> kinds_;
  bool updating_ = false; // the dock itself is changing the table or the view
};
