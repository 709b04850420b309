#include "view/ModelView.h"

#include "view/CommentDialog.h"
#include "view/CommentNode.h"
#include "view/UiServices.h"
#include "view/ViewScene.h"

// Add a Comment: asks for text, size, angle and fill, then places the comment at
// (100, 400) window pixels; it shows from the next frame and can be dragged from there.
void ModelView::onAddComment() {
  CommentDialog *dlg = CommentDialog::create(this);
  commentDialog = dlg;
  if (!dlg) {
    UiServices::instance().message(this, QStringLiteral("Dialog box could not be created!"));
    return;
  }
  const int result = dlg->exec();
  const QString text = dlg->text;
  const double size = CommentDialog::readNumber(dlg->sizeText);
  const double angle = CommentDialog::readNumber(dlg->angleText);
  const bool fill = dlg->fill;
  dlg->deleteLater();
  if (result != QDialog::Accepted)
    return;

  // The text is kept as typed (UTF-8, line breaks and all); the node draws what it can.
  auto *comment =
      new CommentNode(this, 100, 400, static_cast<float>(angle), size, text.toStdString());
  comment->setScale(static_cast<float>(size));
  comment->fontSelector = TextNode::kOutlineFont;
  comment->fill = fill;
  comment->setSelected(false);
  scene().comments.append(comment);
  recordAdded({comment}, QStringLiteral("add comment"));
  update();
}
