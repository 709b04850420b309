#include "app/DocTemplate.h"

QString DocTemplate::field(int i) const {
  const QStringList parts = docString_.split('\n');
  return i >= 0 && i < parts.size() ? parts[i] : QString();
}

const DocTemplate *DocTemplateRegistry::findByDocumentName(const QString &name, bool *exact) const {
  for (const DocTemplate &t : templates_)
    if (t.documentName() == name) {
      if (exact)
        *exact = true;
      return &t;
    }
  if (exact)
    *exact = false;
  return templates_.empty() ? nullptr : &templates_.back();
}
