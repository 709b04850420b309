#include "view/ViewCommands.h"

#include "scene/NodeList.h"
#include "view/BannerNode.h"
#include "view/CommentNode.h"
#include "view/ModelView.h"

#include <algorithm>

NodesCommand::NodesCommand(ModelView &view, Kind kind, std::vector<Slot> entries,
                           const QString &text)
    : QUndoCommand(text), view_(view), kind_(kind), entries_(std::move(entries)) {
  // Put back in ascending order, each at its old place: the earlier ones are back already
  // when a later one is inserted.
  for (Slot &s : entries_)
    s.index = s.list->indexOf(s.node);
  std::sort(entries_.begin(), entries_.end(), [](const Slot &a, const Slot &b) {
    return a.list != b.list ? a.list < b.list : a.index < b.index;
  });
}

NodesCommand::~NodesCommand() {
  if (linked_)
    return;
  std::vector<SceneNode *> nodes;
  for (const Slot &s : entries_)
    nodes.push_back(s.node);
  view_.releaseNodes(nodes);
}

void NodesCommand::link() {
  if (linked_)
    return;
  for (const Slot &s : entries_)
    s.list->insert(s.node, std::size_t(std::max(s.index, 0)));
  linked_ = true;
}

void NodesCommand::unlink() {
  if (!linked_)
    return;
  for (const Slot &s : entries_) {
    s.list->remove(s.node);
    view_.forgetNode(s.node);
  }
  linked_ = false;
}

void NodesCommand::redo() {
  // The first redo of an Add step finds its nodes linked already.
  if (kind_ == Kind::Add)
    link();
  else
    unlink();
  view_.renderFrame();
}

void NodesCommand::undo() {
  if (kind_ == Kind::Add)
    unlink();
  else
    link();
  view_.renderFrame();
}

MoveCommand::MoveCommand(ModelView &view, std::vector<Move> moves)
    : QUndoCommand(QStringLiteral("move")), view_(view), moves_(std::move(moves)) {}

Vec3d MoveCommand::positionOf(const SceneNode *node) {
  if (const auto *b = dynamic_cast<const BannerNode *>(node))
    return b->labelAnchor;
  if (const auto *t = dynamic_cast<const CommentNode *>(node))
    return t->position;
  return {};
}

void MoveCommand::setPosition(SceneNode *node, const Vec3d &position) {
  if (auto *b = dynamic_cast<BannerNode *>(node))
    b->labelAnchor = position;
  else if (auto *t = dynamic_cast<CommentNode *>(node))
    t->position = position;
}

void MoveCommand::redo() {
  for (const Move &m : moves_)
    setPosition(m.node, m.after);
  view_.renderFrame();
}

void MoveCommand::undo() {
  for (const Move &m : moves_)
    setPosition(m.node, m.before);
  view_.renderFrame();
}

CalloutCommentCommand::CalloutCommentCommand(LabelNode *node, std::string before, std::string after)
    : QUndoCommand(QStringLiteral("edit callout comment")), node_(node), before_(std::move(before)),
      after_(std::move(after)) {}

void CalloutCommentCommand::redo() { node_->comment = after_; }

void CalloutCommentCommand::undo() { node_->comment = before_; }
