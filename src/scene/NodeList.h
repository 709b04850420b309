#pragma once
#include "scene/SceneNode.h"

#include <cstddef>

// Ordered, owning, intrusive list of nodes; drawn in the order of appending.
class NodeList {
public:
  NodeList() = default;
  virtual ~NodeList();
  virtual void drawAll(ViewState *view, int pass);

  // Takes ownership. A node is appended once and only when it is in no other list; a null
  // node, or one already linked here or ahead of another node, is refused (false) because
  // linking it again would make the list a cycle.
  bool append(SceneNode *node);
  // Links a node that is in no list at position index (at the end when index is past it);
  // refused like append. Undoing a deletion puts nodes back where they were.
  bool insert(SceneNode *node, std::size_t index);
  // Unlinks without destroying; false when the node is not in the list.
  bool remove(SceneNode *node);
  // Position of the node in the list, or -1.
  int indexOf(const SceneNode *node) const;
  std::size_t size() const;
  // Destroys every node.
  void clear();

  SceneNode *head() const { return head_; }
  SceneNode *tail() const { return tail_; }
  static SceneNode *next(const SceneNode *node) { return node->next_; }
  bool empty() const { return head_ == nullptr; }

  template <class F> void forEach(F &&f) const {
    for (SceneNode *n = head_; n; n = n->next_)
      f(n);
  }

  NodeList(const NodeList &) = delete;
  NodeList &operator=(const NodeList &) = delete;

private:
  SceneNode *head_ = nullptr;
  SceneNode *tail_ = nullptr;
};
