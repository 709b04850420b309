#pragma once
// The undoable steps of a 3D window: adding and removing banners, distances and comments,
// moving them, and editing a callout's comment. Each step edits the window's Document; the
// scene follows the document, so a step never holds a node.
#include "document/Document.h"
#include "geometry/Vec3d.h"

#include <QUndoCommand>
#include <string>
#include <vector>

// One record of a list, with its place in the list.
struct RecordEntry {
  Document::Part part = Document::Part::Banners;
  std::size_t index = 0;
  BannerRecord banner;     // when part is Banners
  DistanceRecord distance; // when part is Distances
  CommentRecord comment;   // when part is Comments
};

// Records that come and go together: an Add step inserts them, a Remove step takes them out;
// undo does the reverse and puts each back at its place in its list.
class RecordsCommand : public QUndoCommand {
public:
  enum class Kind { Add, Remove };
  RecordsCommand(Document &document, Kind kind, std::vector<RecordEntry> entries,
                 const QString &text);

  void undo() override;
  void redo() override;

private:
  void insert();
  void remove();

  Document &doc_;
  Kind kind_;
  std::vector<RecordEntry> entries_; // ascending by list and index
};

// Labels or comments moved by a drag: a label's box offset or a comment's window position
// (x, y) before and after.
class MoveCommand : public QUndoCommand {
public:
  struct Move {
    Document::Part part = Document::Part::Banners;
    std::size_t index = 0;
    Vec3d before, after;
  };
  MoveCommand(Document &document, std::vector<Move> moves);

  void undo() override;
  void redo() override;

private:
  void set(const Move &m, const Vec3d &value);

  Document &doc_;
  std::vector<Move> moves_;
};

// A new comment on a banner or a distance (the callout table's comment column).
class CalloutCommentCommand : public QUndoCommand {
public:
  CalloutCommentCommand(Document &document, Document::Part part, std::size_t index,
                        std::string before, std::string after);

  void undo() override;
  void redo() override;

private:
  void set(const std::string &text);

  Document &doc_;
  Document::Part part_;
  std::size_t index_;
  std::string before_, after_;
};
