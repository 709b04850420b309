#pragma once
// The undoable steps of a 3D window: adding and removing banners, distances and comments,
// moving them, and editing a callout's comment. Nodes a step has taken out of their list are
// kept alive by the step, so undo can put them back; they are released with the step.
#include "geometry/Vec3d.h"

#include <QUndoCommand>
#include <string>
#include <vector>

class LabelNode;
class SceneNode;
class NodeList;
class ModelView;

// Nodes that come and go together: an Add step links them (they were appended already when
// the step is recorded), a Remove step unlinks them; undo does the reverse and puts each
// node back at its place in its list.
class NodesCommand : public QUndoCommand {
public:
  enum class Kind { Add, Remove };
  struct Slot {
    NodeList *list = nullptr;
    SceneNode *node = nullptr;
    int index = -1; // place in the list when linked; set by the step
  };

  NodesCommand(ModelView &view, Kind kind, std::vector<Slot> entries, const QString &text);
  ~NodesCommand() override;

  void undo() override;
  void redo() override;

private:
  void link();
  void unlink();

  ModelView &view_;
  Kind kind_;
  std::vector<Slot> entries_;
  // Both kinds are recorded with their nodes in place: an Add step after the nodes were
  // appended, a Remove step before they are taken out.
  bool linked_ = true;
};

// Labels or comments moved by a drag: the positions before and after (a label's anchor, a
// comment's window position). Recorded once the drag ended, so the first redo puts the nodes
// where they already are.
class MoveCommand : public QUndoCommand {
public:
  struct Move {
    SceneNode *node = nullptr;
    Vec3d before, after;
  };
  MoveCommand(ModelView &view, std::vector<Move> moves);

  void undo() override;
  void redo() override;

  // Where a movable node is now: a label's anchor or a comment's position.
  static Vec3d positionOf(const SceneNode *node);
  static void setPosition(SceneNode *node, const Vec3d &position);

private:
  ModelView &view_;
  std::vector<Move> moves_;
};

// A new comment on a banner or a distance (the callout table's comment column).
class CalloutCommentCommand : public QUndoCommand {
public:
  CalloutCommentCommand(LabelNode *node, std::string before, std::string after);

  void undo() override;
  void redo() override;

private:
  LabelNode *node_;
  std::string before_, after_;
};
