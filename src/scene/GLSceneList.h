#pragma once
#include "scene/GLList.h"

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
  // Unlinks without destroying; false when the node is not in the list.
  bool remove(GLList *node);
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
