#include "view/view3d.h"

#include "view/DLGComment.h"
#include "view/GLText.h"
#include "view/UiServices.h"
#include "view/ViewScene.h"

// Add a Comment: asks for text, size, angle and fill, then places the comment at
// (100, 400) window pixels; it shows from the next frame and can be dragged from there.
void view3d::onAddComment() {
  DLGComment *dlg = DLGComment::create(this);
  commentDialog = dlg;
  if (!dlg) {
    UiServices::instance().message(this, QStringLiteral("Dialog box could not be created!"));
    return;
  }
  const int result = dlg->exec();
  const QString text = dlg->text;
  const double size = DLGComment::readNumber(dlg->sizeText);
  const double angle = DLGComment::readNumber(dlg->angleText);
  const bool fill = dlg->fill;
  dlg->deleteLater();
  if (result != QDialog::Accepted)
    return;

  // Texts are single-byte: one glyph list per Latin-1 character.
  auto *comment =
      new GLText(this, 100, 400, static_cast<float>(angle), size, text.toLatin1().toStdString());
  comment->setScale(static_cast<float>(size));
  comment->fontSelector = GL3DTextList::kOutlineFont;
  comment->fill = fill;
  comment->setSelected(false);
  scene().comments.append(comment);
  recordAdded({comment}, QStringLiteral("add comment"));
  update();
}

bool view3d::commentAvailable() { return true; }
