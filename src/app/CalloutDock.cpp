#include "app/CalloutDock.h"

#include "view/LabelNode.h"
#include "view/ModelView.h"
#include "view/Picking.h"
#include "view/SceneRecord.h"
#include "view/SceneSync.h"
#include "view/ViewCommands.h"
#include "view/ViewScene.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QUndoStack>
#include <QVBoxLayout>
#include <QValidator>
#include <cmath>

namespace {
// Refuses typing beyond what a record holds, so Save never fails on an accepted comment.
class CommentLimit : public QValidator {
public:
  using QValidator::QValidator;
  State validate(QString &input, int &) const override {
    return std::size_t(input.toUtf8().size()) <= RecordLimits::kMaxCalloutCommentBytes ? Acceptable
                                                                                       : Invalid;
  }
};

class CommentDelegate : public QStyledItemDelegate {
public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                        const QModelIndex &index) const override {
    QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto *line = qobject_cast<QLineEdit *>(editor)) {
      line->setMaxLength(int(RecordLimits::kMaxCalloutCommentBytes));
      line->setValidator(new CommentLimit(line));
      line->setToolTip(
          QStringLiteral("At most %1 bytes (UTF-8)").arg(RecordLimits::kMaxCalloutCommentBytes));
    }
    return editor;
  }
};
} // namespace

CalloutDock::CalloutDock(QWidget *parent) : QDockWidget(QStringLiteral("Callouts"), parent) {
  setObjectName(QStringLiteral("callouts"));
  auto *content = new QWidget(this);
  table_ = new QTableWidget(0, ColumnCount, content);
  table_->setObjectName(QStringLiteral("calloutTable"));
  table_->setHorizontalHeaderLabels({QStringLiteral("Id"), QStringLiteral("X"), QStringLiteral("Y"),
                                     QStringLiteral("Z"), QStringLiteral("Deviation"),
                                     QStringLiteral("Status"), QStringLiteral("Comment")});
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  table_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                          QAbstractItemView::AnyKeyPressed);
  table_->setItemDelegateForColumn(Comment, new CommentDelegate(table_));
  export_ = new QPushButton(QStringLiteral("Export callouts..."), content);
  export_->setObjectName(QStringLiteral("exportCallouts"));
  auto *buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(export_);
  auto *layout = new QVBoxLayout(content);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->addWidget(table_);
  layout->addLayout(buttons);
  setWidget(content);

  connect(export_, &QPushButton::clicked, this, &CalloutDock::exportRequested);
  connect(table_, &QTableWidget::itemSelectionChanged, this, &CalloutDock::selectInView);
  connect(table_, &QTableWidget::itemChanged, this, &CalloutDock::commentEdited);
}

void CalloutDock::setView(ModelView *view) {
  if (view_ == view)
    return;
  if (view_)
    disconnect(view_, nullptr, this, nullptr);
  view_ = view;
  if (view) {
    connect(view, &ModelView::annotationsChanged, this, &CalloutDock::refresh);
    connect(view, &ModelView::settingsApplied, this, &CalloutDock::refresh);
    connect(view, &ModelView::selectionChanged, this, &CalloutDock::selectRowOfView);
    connect(view, &QObject::destroyed, this, [this] { setView(nullptr); });
  }
  refresh();
}

SceneNode *CalloutDock::nodeAt(int row) const {
  return row >= 0 && std::size_t(row) < nodes_.size() ? nodes_[std::size_t(row)] : nullptr;
}

void CalloutDock::refresh() {
  // An edit made in this table is already shown.
  if (updating_)
    return;
  {
    QScopedValueRollback<bool> busy(updating_, true);
    fillRows();
  }
  selectRowOfView();
}

void CalloutDock::fillRows() {
  SceneCallouts callouts;
  if (ModelView *v = view_.data())
    callouts = calloutsOf(*v);
  nodes_ = callouts.nodes;
  kinds_.clear();
  table_->clearContents();
  table_->setRowCount(int(callouts.rows.size()));
  const int places = view_ ? view_->display.decimalPlaces : DisplaySettings{}.decimalPlaces;
  const auto number = [places](double v) {
    return std::isnan(v)
               ? QStringLiteral("-")
               : QString::fromStdString(picking::formatValue(v, places, picking::kPanelBuffer));
  };
  for (int r = 0; r < int(callouts.rows.size()); ++r) {
    const CalloutRow &row = callouts.rows[std::size_t(r)];
    kinds_.push_back(row.kind);
    const QString texts[ColumnCount] = {QString::fromStdString(row.id),
                                        number(row.x),
                                        number(row.y),
                                        number(row.z),
                                        number(row.deviation),
                                        QString::fromStdString(row.status),
                                        QString::fromStdString(row.comment)};
    for (int c = 0; c < ColumnCount; ++c) {
      auto *item = new QTableWidgetItem(texts[c]);
      Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
      // A distance's comment belongs to its D row; its end points have none of their own.
      if (c == Comment && row.kind != CalloutRow::Kind::DistanceEnd)
        flags |= Qt::ItemIsEditable;
      item->setFlags(flags);
      if (c != Id && c != Status && c != Comment)
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      table_->setItem(r, c, item);
    }
  }
  export_->setEnabled(!callouts.rows.empty());
}

void CalloutDock::selectRowOfView() {
  if (updating_)
    return;
  QScopedValueRollback<bool> busy(updating_, true);
  ModelView *v = view_.data();
  SceneNode *selected = nullptr;
  if (v)
    for (NodeList *list : {&v->scene().banners, &v->scene().distances})
      list->forEach([&](SceneNode *n) {
        if (!selected && n->isSelected())
          selected = n;
      });
  int row = -1;
  for (int r = 0; r < int(nodes_.size()); ++r)
    if (nodes_[std::size_t(r)] == selected &&
        (row < 0 || kinds_[std::size_t(r)] == CalloutRow::Kind::Distance))
      row = r;
  if (row < 0) {
    table_->clearSelection();
  } else {
    table_->selectRow(row);
    table_->scrollToItem(table_->item(row, Id));
  }
}

void CalloutDock::selectInView() {
  if (updating_)
    return;
  ModelView *v = view_.data();
  const QList<QTableWidgetItem *> items = table_->selectedItems();
  if (!v || items.isEmpty())
    return;
  QScopedValueRollback<bool> busy(updating_, true);
  v->selectOnly(nodeAt(items.front()->row()));
}

void CalloutDock::commentEdited(QTableWidgetItem *item) {
  if (updating_ || !item || item->column() != Comment)
    return;
  ModelView *v = view_.data();
  const std::optional<SceneSync::Ref> ref =
      v ? v->sync().recordOf(nodeAt(item->row())) : std::nullopt;
  if (!ref)
    return;
  const Document &doc = v->document();
  const std::string before = ref->part == Document::Part::Banners
                                 ? doc.banners()[ref->index].comment
                                 : doc.distances()[ref->index].comment;
  const std::string text = item->text().toStdString();
  if (text == before)
    return;
  QScopedValueRollback<bool> busy(updating_, true);
  // Only what Save can write is taken.
  if (text.size() > RecordLimits::kMaxCalloutCommentBytes) {
    item->setText(QString::fromStdString(before));
    emit v->statusMessage(QStringLiteral("A callout comment holds at most %1 bytes (UTF-8)")
                              .arg(RecordLimits::kMaxCalloutCommentBytes));
    return;
  }
  v->undoStack()->push(
      new CalloutCommentCommand(v->document(), ref->part, ref->index, before, text));
}
