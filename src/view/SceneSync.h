#pragma once
// Draws a window's banners, distances and comments from its Document: one node per record,
// in record order, made, changed or dropped as the document tells. The undo steps, Save and
// the callout table work on the records; the nodes only draw them and take mouse drags.
#include "document/Document.h"

#include <memory>
#include <optional>
#include <vector>

class ModelView;
class NodeList;
class SceneNode;

class SceneSync {
public:
  SceneSync(ModelView &view, Document &document);
  ~SceneSync();

  // The nodes of a list (banners, distances or comments), one per record, in record order
  // (null where the record could not be drawn, e.g. before the model was shown).
  const std::vector<SceneNode *> &nodes(Document::Part part) const;
  // The record a node draws.
  struct Ref {
    Document::Part part;
    std::size_t index;
  };
  std::optional<Ref> recordOf(const SceneNode *node) const;
  // Drops every node and makes them anew from the records (after the model or the display
  // settings the labels are coloured by changed).
  void rebuild();

  SceneSync(const SceneSync &) = delete;
  SceneSync &operator=(const SceneSync &) = delete;

private:
  void changed(const Document::Change &change);
  void insert(Document::Part part, std::size_t index);
  void remove(Document::Part part, std::size_t index);
  void update(Document::Part part, std::size_t index);
  void clear(Document::Part part);
  SceneNode *make(Document::Part part, std::size_t index);
  std::vector<SceneNode *> &slotsOf(Document::Part part);
  NodeList &list(Document::Part part);

  ModelView &view_;
  Document &doc_;
  int listener_ = 0;
  std::vector<SceneNode *> banners_, distances_, comments_;
};
