#include "view/SectionDialog.h"

#include "analysis/BackgroundPointIndex.h"
#include "analysis/SectionCutter.h"
#include "scene/GLPointCloud.h"
#include "view/ModelView.h"
#include "view/Picking.h"
#include "view/PolylineNode.h"
#include "view/UiServices.h"
#include "view/ViewScene.h"

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

SpinButton::SpinButton(QWidget *parent) : QWidget(parent) {
  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  auto *up = new QToolButton(this);
  up->setObjectName(QStringLiteral("up"));
  up->setArrowType(Qt::UpArrow);
  up->setAutoRepeat(true);
  auto *down = new QToolButton(this);
  down->setObjectName(QStringLiteral("down"));
  down->setArrowType(Qt::DownArrow);
  down->setAutoRepeat(true);
  for (QToolButton *b : {up, down}) {
    b->setFixedSize(16, 11);
    layout->addWidget(b);
  }
  connect(up, &QToolButton::clicked, this, [this] { emit deltaPos(-1); });
  connect(down, &QToolButton::clicked, this, [this] { emit deltaPos(1); });
}

SectionDialog::SectionDialog(ModelView &view, QWidget *parent) : QDialog(parent), view_(&view) {
  setWindowTitle(QStringLiteral("Create a Plane"));
  setObjectName(QStringLiteral("143"));
  setModal(false);
  const auto named = [](QWidget *w, int id) {
    w->setObjectName(QString::number(id));
    return w;
  };

  auto *normalBox = new QGroupBox(QStringLiteral("Set a plane-normal"), this);
  auto *normalLayout = new QHBoxLayout(normalBox);
  normalLayout->addWidget(new QLabel(QStringLiteral("Plane"), normalBox));
  plane_ = new QComboBox(normalBox);
  named(plane_, IdPlane);
  normalLayout->addWidget(plane_);

  auto *pointBox = new QGroupBox(QStringLiteral("Set a plane-point"), this);
  auto *pointLayout = new QGridLayout(pointBox);
  const char *labels[3] = {"X", "Y", "Z"};
  const int editIds[3] = {IdX, IdY, IdZ};
  const int spinIds[3] = {IdSpinX, IdSpinY, IdSpinZ};
  for (int i = 0; i < 3; ++i) {
    pointLayout->addWidget(new QLabel(QString::fromLatin1(labels[i]), pointBox), i, 0);
    edits_[i] = new QLineEdit(pointBox);
    named(edits_[i], editIds[i]);
    pointLayout->addWidget(edits_[i], i, 1);
    spins_[i] = new SpinButton(pointBox);
    named(spins_[i], spinIds[i]);
    pointLayout->addWidget(spins_[i], i, 2);
    connect(spins_[i], &SpinButton::deltaPos, this, [this, i](int delta) { onSpin(i, delta); });
  }
  pointLayout->addWidget(new QLabel(QStringLiteral("Step"), pointBox), 3, 0);
  stepList_ = new QComboBox(pointBox);
  named(stepList_, IdStep);
  pointLayout->addWidget(stepList_, 3, 1);

  create_ = new QPushButton(QStringLiteral("Create"), this);
  named(create_, IdCreate);
  create_->setDefault(true);
  close_ = new QPushButton(QStringLiteral("Close"), this);
  named(close_, IdClose);
  auto *buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(create_);
  buttons->addWidget(close_);

  auto *layout = new QVBoxLayout(this);
  layout->addWidget(normalBox);
  layout->addWidget(pointBox);
  layout->addLayout(buttons);

  // Initialisation: the step list is sorted, so "1" is its fourth entry.
  stepList_->addItems(stepTexts_);
  stepList_->model()->sort(0);
  stepList_->setCurrentIndex(3);
  plane_->addItems(planeTexts_);
  plane_->setCurrentIndex(0);
  step_ = 1.0;
  record_ = AxisRecord{};
  writeControls();

  connect(plane_, &QComboBox::currentIndexChanged, this, &SectionDialog::onPlaneChanged);
  connect(stepList_, &QComboBox::currentIndexChanged, this, &SectionDialog::onStepChanged);
  connect(create_, &QPushButton::clicked, this, &SectionDialog::onCreate);
  // The dialog (and its point index) goes away when it was opened to be deleted on close.
  connect(close_, &QPushButton::clicked, this, &QDialog::close);

  showPlane();
  onPlaneChanged(0);
}

SectionDialog::~SectionDialog() = default;

QWidget *SectionDialog::control(int id) const { return findChild<QWidget *>(QString::number(id)); }

ModelView *SectionDialog::targetView() const { return view_.data(); }

void SectionDialog::closeEvent(QCloseEvent *e) {
  // The plane only previews where a section would be cut; it goes with the dialog.
  if (ModelView *view = targetView(); view && view->scene().plane()) {
    view->makeCurrent();
    view->scene().clearPlane();
    view->doneCurrent();
    view->renderFrame();
  }
  QDialog::closeEvent(e);
}

QString SectionDialog::numberText(double value) { return QString::number(value, 'g', 15); }

void SectionDialog::writeControls() {
  const double values[3] = {point_.x, point_.y, point_.z};
  for (int i = 0; i < 3; ++i)
    edits_[i]->setText(numberText(values[i]));
}

bool SectionDialog::readControls() {
  double values[3];
  for (int i = 0; i < 3; ++i) {
    bool ok = false;
    const double v = edits_[i]->text().trimmed().toDouble(&ok);
    QString problem;
    if (!ok || !std::isfinite(v))
      problem = QStringLiteral("Please enter a number.");
    else if (std::trunc(v) < kRangeMin || std::trunc(v) > kRangeMax)
      problem = QStringLiteral("Please enter an integer between %1 and %2.")
                    .arg(kRangeMin)
                    .arg(kRangeMax);
    if (!problem.isEmpty()) {
      UiServices::instance().message(this, problem, {}, UiServices::Icon::Warning);
      edits_[i]->setFocus();
      edits_[i]->selectAll();
      return false;
    }
    values[i] = v;
  }
  point_ = Vec3d{values[0], values[1], values[2]};
  return true;
}

void SectionDialog::showPlane() {
  ModelView *view = targetView();
  if (!view || !view->pointCloud() || !view->pointCloud()->model())
    return;
  const BoundingBox &box = view->pointCloud()->model()->GetBoundingBox();
  view->scene().setPlaneCorners(sectionPlaneCorners(record_, point_, box.min(), box.max()));
}

void SectionDialog::onPlaneChanged(int index) {
  static const AxisRecord records[3] = {{{1, 1, 0}}, {{0, 1, 1}}, {{1, 0, 1}}};
  if (index < 0 || index > 2)
    return;
  record_ = records[index];
  // Only the coordinate that fixes the plane can be typed; the others lie in it.
  for (int i = 0; i < 3; ++i)
    edits_[i]->setEnabled(record_.r[i] == 0);
  if (!readControls())
    return;
  ModelView *view = targetView();
  if (view)
    view->scene().clearPlane();
  showPlane();
  if (view)
    view->renderFrame();
}

void SectionDialog::onStepChanged(int index) {
  bool ok = false;
  const double v = stepList_->itemText(index).toDouble(&ok);
  if (ok)
    step_ = v;
}

void SectionDialog::onSpin(int axis, int delta) {
  if (axis < 0 || axis > 2 || !readControls())
    return;
  double *coordinate[3] = {&point_.x, &point_.y, &point_.z};
  *coordinate[axis] -= delta * step_;
  writeControls();
  showPlane();
  if (ModelView *view = targetView())
    view->renderFrame();
}

const NearestPointIndex *SectionDialog::indexFor(ModelView &view, const SessionModel &model) {
  // Shared with hover and banner picking: a large model is indexed once, and the cache
  // notices a model moved in place or a new model at a reused address.
  BackgroundPointIndex &lookup = picking::sharedLookup(model);
  if (!lookup.ready()) {
    // Colouring the section needs the index: the rest of its build is awaited, saying so.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (view.scene().showStatus)
      view.scene().showStatus("Preparing point lookup...");
    lookup.wait();
    QApplication::restoreOverrideCursor();
  }
  return lookup.ready();
}

void SectionDialog::onCreate() {
  if (!readControls())
    return;
  ModelView *view = targetView();
  if (!view || !view->pointCloud() || !view->pointCloud()->model())
    return;
  GLPointCloud &cloud = *view->pointCloud();
  std::unique_ptr<PolylineNode> curve =
      makeSectionCurve(*view, cloud, record_.normal(), point_, indexFor(*view, *cloud.model()));
  // An empty section would leave an empty view: say why instead, and keep what is shown.
  if (curve->count() == 0) {
    UiServices::instance().message(
        this, QStringLiteral("The plane does not cut the model."),
        cloud.model()->triangleCount > 0
            ? QStringLiteral("Move the plane point into the model's extent and try again.")
            : QStringLiteral("The model has no triangles; only a mesh can be cut."),
        UiServices::Icon::Warning);
    return;
  }
  curve->sectionPlane = plane_->currentText().toStdString();
  curve->sectionPoint = point_;
  view->makeCurrent();
  replaceSectionCurve(view->scene(), std::move(curve));
  view->scene().clearPlane();
  view->doneCurrent();
  view->showModel = false;
  view->scene().applySettings(*view);
  view->notifySectionChanged();
}

std::unique_ptr<PolylineNode> makeSectionCurve(ViewState &view, GLPointCloud &cloud,
                                               const std::array<int, 3> &normal, const Vec3d &point,
                                               const NearestPointIndex *index) {
  const SessionModel *model = cloud.model();
  const SectionMesh mesh = model ? SectionMesh::of(*model) : SectionMesh{};
  const ColourScale scale = bannerScale(view.display);
  const SectionResult section = SectionCutter().cut(mesh, normal, point, scale, index);
  auto node = std::make_unique<PolylineNode>(&view, section.points.size(), section.points.data());
  node->setColour(1, 0, 1);
  node->width = 20;
  node->primitive = false;
  node->stippleMode = 1;
  node->perVertexColours = true;
  for (std::size_t i = 0; i < section.colours.size(); ++i)
    node->setVertexColour(i, section.colours[i]);
  node->deviations = section.deviations;
  return node;
}

void replaceSectionCurve(ViewScene &scene, std::unique_ptr<PolylineNode> node) {
  if (scene.sectionCurves.head())
    scene.sectionCurves.clear();
  scene.section.reset();
  if (!node->sectionPlane.empty())
    scene.section = SectionRecord{node->sectionPlane, node->sectionPoint};
  scene.sectionCurves.append(node.release());
}
