#include "view/SettingsDialog.h"

#include "view/ModelView.h"
#include "view/Picking.h"
#include "view/SceneRecord.h"
#include "view/UiServices.h"
#include "view/ViewScene.h"

#include "scene/GLPointCloud.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {
// Button images of our own: a dot of the point size, or a shaded triangle.
QIcon pointIcon(int radius) {
  QPixmap pm(24, 24);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(30, 90, 200));
  p.drawEllipse(QPointF(12, 12), radius, radius);
  return QIcon(pm);
}

QIcon triangleIcon() {
  QPixmap pm(24, 24);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient g(0, 22, 0, 2);
  g.setColorAt(0, QColor(0, 0, 255));
  g.setColorAt(0.5, QColor(0, 200, 0));
  g.setColorAt(1, QColor(255, 0, 0));
  p.setBrush(g);
  p.setPen(QPen(Qt::black, 1));
  p.drawPolygon(QPolygonF({QPointF(12, 2), QPointF(22, 21), QPointF(2, 21)}));
  return QIcon(pm);
}

// Display lists belong to the view's context: node invalidation must run with it current.
class ContextScope {
public:
  explicit ContextScope(ModelView *v) : v_(v) {
    if (v_)
      v_->makeCurrent();
  }
  ~ContextScope() {
    if (v_)
      v_->doneCurrent();
  }
  ContextScope(const ContextScope &) = delete;
  ContextScope &operator=(const ContextScope &) = delete;

private:
  ModelView *v_;
};

template <class W> W *withId(W *w, int id) {
  w->setObjectName(QString::number(id));
  return w;
}
} // namespace

SettingsDialog::SettingsDialog(ModelView &view, QWidget *parent) : QDialog(parent), view_(&view) {
  setObjectName(QStringLiteral("155"));
  setWindowTitle(QStringLiteral("Settings"));
  setModal(false);

  auto *root = new QVBoxLayout(this);

  auto *points = new QGroupBox(QStringLiteral("Points"));
  auto *pl = new QGridLayout(points);
  pl->addWidget(new QLabel(QStringLiteral("S                         M                       L")),
                0, 0, 1, 3);
  pl->addWidget(new QLabel(QStringLiteral("Triangles")), 0, 3);
  small_ = withId(new QPushButton(pointIcon(2), QStringLiteral("S")), 1017);
  medium_ = withId(new QPushButton(pointIcon(4), QStringLiteral("M")), 1018);
  large_ = withId(new QPushButton(pointIcon(7), QStringLiteral("L")), 1019);
  triangle_ = withId(new QPushButton(triangleIcon(), QStringLiteral("Triangle")), 10201);
  pl->addWidget(small_, 1, 0);
  pl->addWidget(medium_, 1, 1);
  pl->addWidget(large_, 1, 2);
  pl->addWidget(triangle_, 1, 3);
  filter_ =
      withId(new QCheckBox(QStringLiteral("Show only points outside the tolerance range")), 1021);
  pl->addWidget(filter_, 2, 0, 1, 4);
  root->addWidget(points);

  auto *model3d = new QGroupBox(QStringLiteral("3D-model"));
  model3d->hide();
  root->addWidget(model3d);

  auto *row = new QHBoxLayout;
  auto *barsBox = new QGroupBox(QStringLiteral("Number of color bars"));
  auto *bl = new QVBoxLayout(barsBox);
  bars_ = withId(new QLineEdit, 1010);
  bl->addWidget(bars_);
  row->addWidget(barsBox);

  auto *gradBox = new QGroupBox(QStringLiteral("Show gradient"));
  auto *gl = new QHBoxLayout(gradBox);
  gradientYes_ = withId(new QRadioButton(QStringLiteral("Yes")), 1011);
  gradientNo_ = withId(new QRadioButton(QStringLiteral("No")), 1013);
  gl->addWidget(gradientYes_);
  gl->addWidget(gradientNo_);
  row->addWidget(gradBox);
  root->addLayout(row);

  auto *lineBox = new QGroupBox(QStringLiteral("Banner line color"));
  auto *ll = new QHBoxLayout(lineBox);
  own_ = withId(new QRadioButton(QStringLiteral("Own")), 1030);
  white_ = withId(new QRadioButton(QStringLiteral("White")), 1027);
  black_ = withId(new QRadioButton(QStringLiteral("Black")), 1028);
  deviation_ = withId(new QRadioButton(QStringLiteral("Deviation")), 1029);
  lineColourGroup_ = new QButtonGroup(this);
  lineColourGroup_->addButton(own_, code(BannerLineColour::Own));
  lineColourGroup_->addButton(white_, code(BannerLineColour::White));
  lineColourGroup_->addButton(black_, code(BannerLineColour::Black));
  lineColourGroup_->addButton(deviation_, code(BannerLineColour::Deviation));
  ll->addWidget(own_);
  ll->addWidget(white_);
  ll->addWidget(black_);
  ll->addWidget(deviation_);
  root->addWidget(lineBox);

  auto *tol = new QGridLayout;
  tol->addWidget(new QLabel(QStringLiteral("Upper tolerance")), 0, 0);
  upper_ = withId(new QLineEdit, 1008);
  tol->addWidget(upper_, 0, 1);
  tol->addWidget(new QLabel(QStringLiteral("mm")), 0, 2);
  auto *lowerLabel = new QLabel(QStringLiteral("Lower tolerance"));
  lower_ = withId(new QLineEdit, 1009);
  auto *lowerMm = new QLabel(QStringLiteral("mm"));
  // The band is always symmetric: the lower field only mirrors the upper one.
  lowerLabel->hide();
  lower_->hide();
  lower_->setEnabled(false);
  lowerMm->hide();
  tol->addWidget(lowerLabel, 1, 0);
  tol->addWidget(lower_, 1, 1);
  tol->addWidget(lowerMm, 1, 2);
  root->addLayout(tol);

  auto *row2 = new QHBoxLayout;
  auto *magBox = new QGroupBox(QStringLiteral("Magnification"));
  auto *ml = new QVBoxLayout(magBox);
  magnification_ = withId(new QLineEdit, 1012);
  ml->addWidget(magnification_);
  row2->addWidget(magBox);
  auto *decBox = new QGroupBox(QStringLiteral("Decimal places"));
  auto *dl = new QVBoxLayout(decBox);
  decimals_ = withId(new QLineEdit, 1020);
  dl->addWidget(decimals_);
  row2->addWidget(decBox);
  root->addLayout(row2);

  extended_ = withId(new QCheckBox(QStringLiteral("Extended colors")), 1022);
  root->addWidget(extended_);

  auto *buttons = new QHBoxLayout;
  ok_ = withId(new QPushButton(QStringLiteral("OK")), 1);
  ok_->setDefault(true);
  ok_->hide();
  close_ = withId(new QPushButton(QStringLiteral("Close")), 2);
  close_->setAutoDefault(false);
  buttons->addStretch();
  buttons->addWidget(ok_);
  buttons->addWidget(close_);
  root->addLayout(buttons);
  // The point buttons show which display is active.
  pointGroup_ = new QButtonGroup(this);
  for (QPushButton *b : {small_, medium_, large_, triangle_}) {
    b->setAutoDefault(false);
    b->setCheckable(true);
    pointGroup_->addButton(b);
  }

  connect(small_, &QPushButton::clicked, this,
          [this] { setPointMode(DisplayMode::Points, PointSize::S); });
  connect(medium_, &QPushButton::clicked, this,
          [this] { setPointMode(DisplayMode::Points, PointSize::M); });
  connect(large_, &QPushButton::clicked, this,
          [this] { setPointMode(DisplayMode::Points, PointSize::L); });
  connect(triangle_, &QPushButton::clicked, this,
          [this] { setPointMode(DisplayMode::Triangles, PointSize::Triangles); });
  connect(filter_, &QCheckBox::clicked, this, [this] { toggleFilter(); });
  connect(gradientYes_, &QRadioButton::clicked, this, [this] { setGradient(true); });
  connect(gradientNo_, &QRadioButton::clicked, this, [this] { setGradient(false); });
  for (QAbstractButton *b : lineColourGroup_->buttons())
    connect(b, &QRadioButton::clicked, this, [this, b] {
      setBannerLineColour(static_cast<BannerLineColour>(lineColourGroup_->id(b)));
    });
  connect(extended_, &QCheckBox::clicked, this, [this](bool on) { setExtended(on); });
  connect(upper_, &QLineEdit::textChanged, this,
          [this](const QString &t) { upperToleranceChanged(t); });
  // Leaving a field applies it (Enter does too, through the dialog's key handling).
  for (QLineEdit *e : {bars_, upper_, magnification_, decimals_})
    connect(e, &QLineEdit::editingFinished, this, [this] {
      if (targetView() && targetView()->pointCloud())
        commitEdits();
    });
  connect(ok_, &QPushButton::clicked, this, [this] { applyEdits(); });
  connect(close_, &QPushButton::clicked, this, &QDialog::close);

  // Each colour band's share of the points beside the legend; last before the buttons.
  auto *percentages = withId(new QCheckBox(QStringLiteral("Show percentages")), kShowPercentagesId);
  root->insertWidget(root->count() - 1, percentages);
  connect(percentages, &QCheckBox::clicked, this, [this](bool on) {
    if (ModelView *v = targetView()) {
      v->display.showPercentages = on;
      v->update();
    }
  });
}

QWidget *SettingsDialog::control(int id) const { return findChild<QWidget *>(QString::number(id)); }

QString SettingsDialog::fixedText(double value) {
  char buf[400];
  std::snprintf(buf, sizeof buf, "%f", value);
  QString s = QString::fromLatin1(buf);
  if (s.contains('.')) {
    while (s.endsWith('0'))
      s.chop(1);
    if (s.endsWith('.'))
      s += '0';
  }
  return s;
}

QString SettingsDialog::significantText(double value) {
  if (value == 0.0)
    return QStringLiteral("0");
  char buf[400];
  std::snprintf(buf, sizeof buf, "%#.12g", value);
  QString s = QString::fromLatin1(buf);
  const qsizetype e = s.indexOf('e');
  QString mantissa = e >= 0 ? s.left(e) : s;
  const QString exponent = e >= 0 ? s.mid(e) : QString();
  if (mantissa.contains('.'))
    while (mantissa.endsWith('0'))
      mantissa.chop(1);
  return mantissa + exponent;
}

double SettingsDialog::readDouble(const QString &text) {
  // Like the C library's atof: the leading number counts, anything unreadable is 0.
  const QByteArray bytes = text.left(340).toLatin1();
  return std::strtod(bytes.constData(), nullptr);
}

int SettingsDialog::readInt(const QString &text) {
  const QByteArray bytes = text.toLatin1();
  const long v = std::strtol(bytes.constData(), nullptr, 10);
  return v > 1000000000L ? 1000000000 : (v < -1000000000L ? -1000000000 : int(v));
}

ModelView *SettingsDialog::targetView() const { return view_.data(); }

void SettingsDialog::loadFromView() {
  ModelView *v = targetView();
  if (!v)
    return;
  const GLPointCloud *cloud = v->pointCloud();
  showPointMode();
  const DisplaySettings shown = displaySettingsOf(*v, cloud);
  filter_->setChecked(shown.pointFilter == PointFilter::OutsideOnly);
  (shown.gradient ? gradientYes_ : gradientNo_)->setChecked(true);
  extended_->setChecked(shown.extendedColours);
  if (QAbstractButton *line = lineColourGroup_->button(code(shown.bannerLineColour)))
    line->setChecked(true);
  bars_->setText(QString::number(shown.colourBars));
  decimals_->setText(QString::number(shown.decimalPlaces));
  upper_->setText(significantText(shown.upperTolerance));
  lower_->setText(significantText(shown.lowerTolerance));
  magnification_->setText(significantText(shown.magnification));
  // Magnifying deviations needs the nominal points to move the measured ones from.
  magnification_->setEnabled(v->hasNominalPoints);
  if (auto *percentages = findChild<QCheckBox *>(QString::number(kShowPercentagesId)))
    percentages->setChecked(shown.showPercentages);
  appliedTexts_ = editTexts();
}

void SettingsDialog::showPointMode() {
  ModelView *v = targetView();
  if (!v)
    return;
  const DisplaySettings &d = v->display;
  QPushButton *active = d.displayMode == DisplayMode::Triangles ? triangle_
                        : d.pointSize == PointSize::S           ? small_
                        : d.pointSize == PointSize::M           ? medium_
                        : d.pointSize == PointSize::L           ? large_
                                                                : nullptr;
  if (active) {
    active->setChecked(true);
  } else if (QAbstractButton *b = pointGroup_->checkedButton()) {
    pointGroup_->setExclusive(false);
    b->setChecked(false);
    pointGroup_->setExclusive(true);
  }
}

QStringList SettingsDialog::editTexts() const {
  return {upper_->text(), bars_->text(), magnification_->text(), decimals_->text()};
}

void SettingsDialog::apply() {
  ContextScope scope(targetView());
  if (ModelView *v = targetView())
    v->scene().applySettings(*v);
}

void SettingsDialog::setPointMode(DisplayMode mode, PointSize size) {
  ModelView *v = targetView();
  if (v && v->pointCloud()) {
    v->display.displayMode = mode;
    v->display.pointSize = size;
    apply();
  }
  showPointMode();
}

void SettingsDialog::toggleFilter() {
  // The check box says what the filter becomes, so the first click always changes it.
  ModelView *v = targetView();
  if (v && v->pointCloud()) {
    v->display.pointFilter = filter_->isChecked() ? PointFilter::OutsideOnly : PointFilter::All;
    apply();
  }
  if (v)
    filter_->setChecked(v->display.pointFilter == PointFilter::OutsideOnly);
}

void SettingsDialog::setGradient(bool on) {
  ContextScope scope(targetView());
  if (ModelView *v = targetView(); v && v->pointCloud())
    v->display.gradient = on;
  apply();
}

void SettingsDialog::setBannerLineColour(BannerLineColour colour) {
  if (ModelView *v = targetView())
    v->display.bannerLineColour = colour;
  if (QAbstractButton *b = lineColourGroup_->button(code(colour)))
    b->setChecked(true);
  apply();
}

void SettingsDialog::setExtended(bool on) {
  ContextScope scope(targetView());
  if (ModelView *v = targetView(); v && v->pointCloud())
    v->display.extendedColours = on;
  apply();
}

void SettingsDialog::upperToleranceChanged(const QString &text) {
  const double x = readDouble(text);
  lower_->setText(significantText(x == 0.0 ? 0.0 : -x));
}

bool SettingsDialog::readEdits(EditValues &out) {
  const QLocale c = QLocale::c();
  bool ok = false;
  const auto refuse = [this](QLineEdit *field, const QString &why) {
    UiServices::instance().message(this, why, {}, UiServices::Icon::Warning);
    field->setFocus();
    field->selectAll();
    return false;
  };
  out.upper = c.toDouble(upper_->text().trimmed(), &ok);
  if (!ok || !std::isfinite(out.upper) || out.upper <= 0)
    return refuse(upper_, QStringLiteral("Please enter a tolerance greater than 0."));
  out.bars = c.toInt(bars_->text().trimmed(), &ok);
  if (!ok || out.bars < kMinBars || out.bars > kMaxBars)
    return refuse(bars_, QStringLiteral("Please enter a number of colour bars between %1 and %2.")
                             .arg(kMinBars)
                             .arg(kMaxBars));
  out.magnification = c.toDouble(magnification_->text().trimmed(), &ok);
  if (!ok || !std::isfinite(out.magnification))
    return refuse(magnification_, QStringLiteral("Please enter a number for the magnification."));
  out.places = c.toInt(decimals_->text().trimmed(), &ok);
  if (!ok || out.places < 0 || out.places > DisplayLimits::kMaxDecimalPlaces)
    return refuse(decimals_, QStringLiteral("Please enter a number of decimal places between 0 "
                                            "and %1.")
                                 .arg(DisplayLimits::kMaxDecimalPlaces));
  return true;
}

bool SettingsDialog::commitEdits() {
  ModelView *v = targetView();
  if (!v || !v->pointCloud() || committing_)
    return false;
  if (editTexts() == appliedTexts_)
    return true;
  QScopedValueRollback<bool> busy(committing_, true);
  EditValues e;
  if (!readEdits(e))
    return false;
  ContextScope scope(v);
  v->display.upperTolerance = e.upper;
  v->display.lowerTolerance = -e.upper;
  v->display.colourBars = e.bars;
  v->display.magnification = e.magnification;
  v->display.decimalPlaces = e.places;
  apply();
  appliedTexts_ = editTexts();
  return true;
}

void SettingsDialog::applyEdits() {
  ModelView *v = targetView();
  if (!v || !v->pointCloud()) {
    close();
    return;
  }
  commitEdits();
}

void SettingsDialog::keyPressEvent(QKeyEvent *e) {
  if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
    // In a field, Enter has already applied it (editingFinished); elsewhere it applies all.
    if (!qobject_cast<QLineEdit *>(focusWidget()) || !targetView() || !targetView()->pointCloud())
      applyEdits();
    e->accept();
    return;
  }
  QDialog::keyPressEvent(e);
}
