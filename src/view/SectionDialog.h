#pragma once
#include "analysis/SectionPlane.h"
#include "geometry/Vec3d.h"

#include <QDialog>
#include <QPointer>
#include <QStringList>
#include <array>
#include <memory>

class GLPointCloud;
class PolylineNode;
class NearestPointIndex;
class QComboBox;
class QLineEdit;
class QPushButton;
class SessionModel;
class ViewScene;
class ViewState;
class ModelView;

// Up and down arrows beside an edit; reports each click as a position change: -1 for up,
// +1 for down, so that "value - delta x step" counts up on the up arrow.
class SpinButton : public QWidget {
  Q_OBJECT
public:
  explicit SpinButton(QWidget *parent = nullptr);
signals:
  void deltaPos(int delta);
};

// The modeless "Create a Plane" dialog: choose an axis-parallel plane and a point on it,
// watch the plane over the model, and cut the model's mesh there into a section curve. It
// acts on the view it was opened for; closing it takes the plane preview away. Every
// control's objectName is its numeric id.
class SectionDialog : public QDialog {
  Q_OBJECT
public:
  enum Id {
    IdCreate = 1,
    IdClose = 2,
    IdStep = 1035,
    IdPlane = 1036,
    IdX = 1038,
    IdSpinX = 1039,
    IdY = 1040,
    IdSpinY = 1041,
    IdZ = 1042,
    IdSpinZ = 1043
  };
  static constexpr int kRangeMin = -1000000;
  static constexpr int kRangeMax = 1000000;

  explicit SectionDialog(ModelView &view, QWidget *parent = nullptr);
  ~SectionDialog() override;

  // The control with the given numeric id.
  QWidget *control(int id) const;

  // The members the controls exchange with.
  Vec3d planePoint() const { return point_; }
  AxisRecord axisRecord() const { return record_; }
  double step() const { return step_; }

  // The command handlers, callable directly.
  void onPlaneChanged(int index);
  void onStepChanged(int index);
  void onSpin(int axis, int delta);
  void onCreate();

  // Reads the three edits into the plane point. On a bad entry shows the message, puts the
  // focus on that edit and returns false; the point keeps its old value.
  bool readControls();
  void writeControls();

  // Shows the plane through the current point across the model's widened bounding box.
  void showPlane();

  // Text of a coordinate in an edit (15 significant digits, as the edits print doubles).
  static QString numberText(double value);

protected:
  void closeEvent(QCloseEvent *e) override;

private:
  ModelView *targetView() const;
  const NearestPointIndex *indexFor(ModelView &view, const SessionModel &model);

  QPointer<ModelView> view_;
  Vec3d point_{0, 0, 0};
  AxisRecord record_{};
  double step_ = 1.0;
  const QStringList stepTexts_{"10", "1", "0.1", "0.01", "0.001"};
  const QStringList planeTexts_{"X/Y", "Y/Z", "X/Z"};

  QComboBox *plane_, *stepList_;
  std::array<QLineEdit *, 3> edits_{};
  std::array<SpinButton *, 3> spins_{};
  QPushButton *create_, *close_;
};

// The section of the point cloud's mesh by the plane through point with the given normal,
// as a node of points coloured by the deviation of the nearest measured point (scale: the
// node's tolerances and extended switch, the view's colour bars, standard layout, no
// gradient). index may be null (one is built).
std::unique_ptr<PolylineNode> makeSectionCurve(ViewState &view, GLPointCloud &cloud,
                                               const std::array<int, 3> &normal, const Vec3d &point,
                                               const NearestPointIndex *index = nullptr);
// Puts node into the scene's section curve list in place of any earlier section.
void replaceSectionCurve(ViewScene &scene, std::unique_ptr<PolylineNode> node);
