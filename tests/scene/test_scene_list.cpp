// Scene list linking and ownership, the node base's display lists and pick names, hidden
// nodes, and the stored colour order.
#include "scene/NodeList.h"
#include "support/SceneTestEnv.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <vector>

using namespace scenetest;

namespace {

// Records its draws and destruction.
struct Probe : DrawableNode {
  Probe(std::vector<int> &log, int id) : DrawableNode(nullptr), log_(log), id_(id) {}
  ~Probe() override { log_.push_back(-id_); }
  void draw(ViewState *, int) override { log_.push_back(id_); }
  std::vector<int> &log_;
  int id_;
};

std::vector<SceneNode *> nodes(const NodeList &l) {
  std::vector<SceneNode *> v;
  l.forEach([&](SceneNode *n) { v.push_back(n); });
  return v;
}

// A node owning one compiled list that fills a square of the window.
DrawableNode *squareNode(GLuint &list) {
  list = glGenLists(1);
  glNewList(list, GL_COMPILE);
  glBegin(GL_QUADS);
  glVertex2d(100, 100);
  glVertex2d(200, 100);
  glVertex2d(200, 200);
  glVertex2d(100, 200);
  glEnd();
  glEndList();
  auto *n = new DrawableNode(nullptr);
  n->listCount = 1;
  n->listIds = {int(list)};
  n->pickNames = {7};
  n->firstList = list;
  return n;
}

} // namespace

TEST(NodeList, RemovesFirstMiddleLastAndOnlyNodes) {
  std::vector<int> log;
  NodeList l;
  auto *a = new Probe(log, 1), *b = new Probe(log, 2), *c = new Probe(log, 3);
  EXPECT_TRUE(l.append(a));
  EXPECT_TRUE(l.append(b));
  EXPECT_TRUE(l.append(c));
  EXPECT_EQ(nodes(l), (std::vector<SceneNode *>{a, b, c}));

  EXPECT_TRUE(l.remove(c)); // last: tail moves back
  EXPECT_EQ(l.tail(), b);
  EXPECT_EQ(NodeList::next(b), nullptr);
  EXPECT_FALSE(l.remove(c)); // no longer there
  EXPECT_TRUE(l.append(c));  // unlinked, so it can come back
  EXPECT_TRUE(l.remove(b));  // middle
  EXPECT_EQ(nodes(l), (std::vector<SceneNode *>{a, c}));
  EXPECT_TRUE(l.remove(a)); // first
  EXPECT_EQ(l.head(), c);
  EXPECT_TRUE(l.remove(c)); // only: the list is empty
  EXPECT_EQ(l.head(), nullptr);
  EXPECT_EQ(l.tail(), nullptr);
  EXPECT_TRUE(l.empty());
  EXPECT_TRUE(log.empty()); // removing never destroys
  delete a;
  delete b;
  delete c;
}

TEST(NodeList, RefusesNodesThatWouldMakeACycle) {
  std::vector<int> log;
  NodeList l, other;
  auto *a = new Probe(log, 1), *b = new Probe(log, 2);
  EXPECT_FALSE(l.append(nullptr));
  EXPECT_TRUE(l.append(a));
  EXPECT_FALSE(l.append(a)); // already the tail
  EXPECT_TRUE(l.append(b));
  EXPECT_FALSE(l.append(a));     // linked ahead of b
  EXPECT_FALSE(other.append(a)); // in another list
  l.drawAll(nullptr, 0);
  EXPECT_EQ(log, (std::vector<int>{1, 2})); // drawn once each, in order
}

TEST(NodeList, ClearAndDestructionDestroyEveryNodeInOrder) {
  std::vector<int> log;
  {
    NodeList l;
    l.drawAll(nullptr, 0); // empty: nothing happens
    for (int i = 1; i <= 3; ++i)
      l.append(new Probe(log, i));
    l.drawAll(nullptr, 0);
    l.clear();
    EXPECT_TRUE(l.empty());
    EXPECT_EQ(log, (std::vector<int>{1, 2, 3, -1, -2, -3}));
    log.clear();
    l.append(new Probe(log, 4));
  }
  EXPECT_EQ(log, (std::vector<int>{-4}));
}

TEST(SceneNode, DrawsItsListsAndHidesWhenInvisible) {
  context();
  GLuint list = 0;
  DrawableNode *n = squareNode(list);
  beginFrame();
  windowOrtho();
  n->draw(nullptr, 0);
  EXPECT_FALSE(grab().isBackground(150, 150));
  n->visible = false;
  beginFrame();
  windowOrtho();
  n->draw(nullptr, 0);
  EXPECT_EQ(grab().countLit(0, 0, kWidth, kHeight), 0);

  // Pick names: in selection mode the node reports its name.
  n->visible = true;
  GLuint buffer[16] = {};
  glSelectBuffer(16, buffer);
  glRenderMode(GL_SELECT);
  glInitNames();
  n->draw(nullptr, 0);
  EXPECT_EQ(glRenderMode(GL_RENDER), 1);
  EXPECT_EQ(buffer[0], 1u); // one name
  EXPECT_EQ(buffer[3], 7u);

  delete n; // separate lists: deleted one by one
  EXPECT_FALSE(glIsList(list));
}

TEST(SceneNode, ReleasesOnlyWhatItOwns) {
  context();
  // First list 0: the node owns no lists, whatever its ids say.
  GLuint kept = 0;
  DrawableNode *n = squareNode(kept);
  n->firstList = 0;
  delete n;
  EXPECT_TRUE(glIsList(kept));
  glDeleteLists(kept, 1);

  // A block: deleted as one range.
  const GLuint block = glGenLists(3);
  for (GLuint i = 0; i < 3; ++i) {
    glNewList(block + i, GL_COMPILE);
    glEndList();
  }
  const GLuint after = glGenLists(1);
  glNewList(after, GL_COMPILE);
  glEndList();
  auto *b = new SceneNode;
  b->firstList = block;
  b->listCount = 3;
  b->separateLists = false;
  delete b;
  for (GLuint i = 0; i < 3; ++i)
    EXPECT_FALSE(glIsList(block + i));
  EXPECT_TRUE(glIsList(after));
  glDeleteLists(after, 1);

  // No lists: drawing issues nothing.
  SceneNode empty;
  beginFrame();
  empty.draw(nullptr, 0);
  EXPECT_EQ(grab().countLit(0, 0, kWidth, kHeight), 0);
}

TEST(DrawableNode, ColourIsStoredRedBlueGreen) {
  context();
  DrawableNode n(nullptr);
  n.setStoredColour({1, 0, 0.5});
  EXPECT_EQ(n.red(), 1);
  EXPECT_EQ(n.green(), 0.5);
  EXPECT_EQ(n.blue(), 0);
  n.applyColour();
  GLfloat c[4];
  glGetFloatv(GL_CURRENT_COLOR, c);
  EXPECT_FLOAT_EQ(c[0], 1);
  EXPECT_FLOAT_EQ(c[1], 0.5f);
  EXPECT_FLOAT_EQ(c[2], 0);
  n.setColour(0.1, 0.2, 0.3);
  EXPECT_EQ(n.storedColour(), (std::array<double, 3>{0.1, 0.3, 0.2}));
  EXPECT_EQ(n.factor(), 1.0);
  n.setFactor(2.5);
  EXPECT_EQ(n.factor(), 2.5);
}
