#include "view/ViewCommands.h"

#include <algorithm>

using Part = Document::Part;

RecordsCommand::RecordsCommand(Document &document, Kind kind, std::vector<RecordEntry> entries,
                               const QString &text)
    : QUndoCommand(text), doc_(document), kind_(kind), entries_(std::move(entries)) {
  // Put back in ascending order, each at its old place: the earlier ones are back already
  // when a later one is inserted.
  std::sort(entries_.begin(), entries_.end(), [](const RecordEntry &a, const RecordEntry &b) {
    return a.part != b.part ? a.part < b.part : a.index < b.index;
  });
}

void RecordsCommand::insert() {
  for (const RecordEntry &e : entries_) {
    if (e.part == Part::Banners)
      doc_.insertBanner(e.index, e.banner);
    else if (e.part == Part::Distances)
      doc_.insertDistance(e.index, e.distance);
    else
      doc_.insertComment(e.index, e.comment);
  }
}

void RecordsCommand::remove() {
  // The later ones first, so the indices of the earlier ones still hold.
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
    if (it->part == Part::Banners)
      doc_.removeBanner(it->index);
    else if (it->part == Part::Distances)
      doc_.removeDistance(it->index);
    else
      doc_.removeComment(it->index);
  }
}

void RecordsCommand::redo() { kind_ == Kind::Add ? insert() : remove(); }

void RecordsCommand::undo() { kind_ == Kind::Add ? remove() : insert(); }

MoveCommand::MoveCommand(Document &document, std::vector<Move> moves)
    : QUndoCommand(QStringLiteral("move")), doc_(document), moves_(std::move(moves)) {}

void MoveCommand::set(const Move &m, const Vec3d &value) {
  if (m.part == Part::Banners)
    doc_.setBannerOffset(m.index, value);
  else if (m.part == Part::Distances)
    doc_.setDistanceOffset(m.index, value);
  else
    doc_.setCommentPosition(m.index, value.x, value.y);
}

void MoveCommand::redo() {
  for (const Move &m : moves_)
    set(m, m.after);
}

void MoveCommand::undo() {
  for (const Move &m : moves_)
    set(m, m.before);
}

CalloutCommentCommand::CalloutCommentCommand(Document &document, Part part, std::size_t index,
                                             std::string before, std::string after)
    : QUndoCommand(QStringLiteral("edit callout comment")), doc_(document), part_(part),
      index_(index), before_(std::move(before)), after_(std::move(after)) {}

void CalloutCommentCommand::set(const std::string &text) {
  if (part_ == Part::Banners)
    doc_.setBannerComment(index_, text);
  else
    doc_.setDistanceComment(index_, text);
}

void CalloutCommentCommand::redo() { set(after_); }

void CalloutCommentCommand::undo() { set(before_); }
