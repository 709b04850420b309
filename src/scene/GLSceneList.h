#pragma once
#include "scene/GLList.h"

#include <cstddef>

// Ordered, owning, intrusive list of nodes; drawn in the order of appending.
class GLSceneList {
public:
  GLSceneList() = default;
  virtual ~GLSceneList();                          // slot 0
  virtual void drawAll(ViewState *view, int pass); // slot 1
  virtual void forEachSlot2();                     // slot 2

  // Takes ownership. A node is appended once and only when it is in no other list; a null
  // node, or one already linked here or ahead of another node, is refused (false) because
  // linking it again would make the list a cycle.
  bool append(GLList *node);
  // Links a node that is in no list at position index (at the end when index is past it);
  // refused like append. Undoing a deletion puts nodes back where they were.
  bool insert(GLList *node, std::size_t index);
  // Unlinks without destroying; false when the node is not in the list.
  bool remove(GLList *node);
  // Position of the node in the list, or -1.
  int indexOf(const GLList *node) const;
  std::size_t size() const;
  // Destroys every node.
  void clear();

  GLList *head() const { return head_; }
  GLList *tail() const { return tail_; }
  static GLList *next(const GLList *node) { return node->next_; }
  bool empty() const { return head_ == nullptr; }

  template <class F> void forEach(F &&f) const {
    for (GLList *n = head_; n; n = n->next_)
      f(n);
  }

  GLSceneList(const GLSceneList &) = delete;
  GLSceneList &operator=(const GLSceneList &) = delete;

private:
  GLList *head_ = nullptr;
  GLList *tail_ = nullptr;
};
