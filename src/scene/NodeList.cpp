#include "scene/NodeList.h"

NodeList::~NodeList() { clear(); }

bool NodeList::append(SceneNode *node) {
  if (!node || node == tail_ || node->next_ != nullptr)
    return false;
  if (!head_) {
    head_ = tail_ = node;
  } else {
    tail_->next_ = node;
    tail_ = node;
  }
  return true;
}

bool NodeList::insert(SceneNode *node, std::size_t index) {
  if (!node || node == tail_ || node->next_ != nullptr)
    return false;
  if (index == 0 || !head_) {
    node->next_ = head_;
    head_ = node;
    if (!tail_)
      tail_ = node;
    return true;
  }
  SceneNode *prev = head_;
  for (std::size_t i = 1; i < index && prev->next_; ++i)
    prev = prev->next_;
  node->next_ = prev->next_;
  prev->next_ = node;
  if (tail_ == prev)
    tail_ = node;
  return true;
}

int NodeList::indexOf(const SceneNode *node) const {
  int i = 0;
  for (SceneNode *n = head_; n; n = n->next_, ++i)
    if (n == node)
      return i;
  return -1;
}

std::size_t NodeList::size() const {
  std::size_t count = 0;
  for (SceneNode *n = head_; n; n = n->next_)
    ++count;
  return count;
}

bool NodeList::remove(SceneNode *node) {
  SceneNode *prev = nullptr;
  for (SceneNode *n = head_; n; prev = n, n = n->next_) {
    if (n != node)
      continue;
    if (prev)
      prev->next_ = n->next_;
    else
      head_ = n->next_;
    if (tail_ == n)
      tail_ = prev;
    n->next_ = nullptr; // so that it can be appended elsewhere later
    return true;
  }
  return false;
}

void NodeList::clear() {
  SceneNode *n = head_;
  head_ = tail_ = nullptr;
  while (n) {
    SceneNode *next = n->next_;
    delete n;
    n = next;
  }
}

void NodeList::drawAll(ViewState *view, int pass) {
  for (SceneNode *n = head_; n; n = n->next_)
    n->draw(view, pass);
}
