#pragma once
#include <QString>
#include <QStringList>
#include <vector>

// A registered document type: its resource id (which is also its menu), and the
// document string in the seven-field form (window title, document name, new-file name,
// filter name, filter extension, registry type id, registry type name).
class DocTemplate {
public:
  DocTemplate(int resourceId, const QString &docString)
      : resourceId_(resourceId), docString_(docString) {}

  int resourceId() const { return resourceId_; }
  int menuId() const { return resourceId_; }
  const QString &docString() const { return docString_; }
  // Field i of the document string, empty when absent.
  QString field(int i) const;
  QString documentName() const { return field(1); }

private:
  int resourceId_;
  QString docString_;
};

// The templates in order of registration.
class DocTemplateRegistry {
public:
  void add(const DocTemplate &t) { templates_.push_back(t); }
  const std::vector<DocTemplate> &all() const { return templates_; }
  // The template whose document name equals name exactly; else the last one registered,
  // or null when there is none.
  const DocTemplate *findByDocumentName(const QString &name, bool *exact = nullptr) const;

private:
  std::vector<DocTemplate> templates_;
};
