#pragma once
#include "scene/ViewState.h"

#include <QCursor>
#include <QElapsedTimer>
#include <QOpenGLWidget>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class Document;
class SceneSync;
class SettingsDialog;
class SceneNode;
class GLPointCloud;
class PointLookup;
class NodeList;
class QDialog;
class QUndoStack;
class ViewScene;

// The window of a 3D session document: OpenGL context, camera, mouse and keyboard
// navigation, and the view's commands. The frame itself is drawn by its ViewScene from the
// ViewState this widget is.
class ModelView : public QOpenGLWidget, public ViewState {
  Q_OBJECT
public:
  explicit ModelView(QWidget *parent = nullptr);
  ~ModelView() override;

  ViewScene &scene() { return *scene_; }
  // What the window shows as records; its banners, distances and comments are drawn from
  // it. A view starts with an empty document of its own; setDocument replaces it (and the
  // undo history).
  Document &document() const { return *document_; }
  SceneSync &sync() const { return *sync_; }
  void setDocument(std::shared_ptr<Document> document);
  // The background build of the shown model's nearest-point index.
  PointLookup &pointLookup() { return *lookup_; }
  GLPointCloud *pointCloud() const;

  // Repaints now (the load step and the dialogs run outside the event loop).
  void renderFrame();

  // Show all points: pan and pending rotation to 0, fit the distance, redraw. The
  // accumulated rotation stays.
  void onShowAllPoints();
  // Opens a new modeless settings dialog.
  void onTolerance();

  // The standard orientations of the View menu (keys 1 to 7), each fitted to the model with
  // pan and pending rotation cleared. Front, back, left and right keep z up; top looks down
  // the z axis with x right and y up; bottom looks up it with x right; isometric looks from
  // the front right above, from direction (1, -1, 1).
  enum class StandardView { Front = 1, Back, Top, Bottom, Left, Right, Isometric };
  void setStandardView(StandardView which);
  // The orientation a newly opened file is shown in (top), fitted: what "Reset view"
  // restores.
  void resetView();
  static constexpr StandardView kOpeningView = StandardView::Top;

  // Commands built in their own files.
  void onAddComment();
  void onSnapshot();
  void onGenerateSectionCurve();
  void onExport();
  // Asks for a file and writes the inspection report of this view (its camera and settings).
  void onCreateReport();
  // Section commands: drop the section curve and plane (the model shows again), and save
  // the section as CSV (the columns of the command line's --section --csv).
  void onClearSection();
  void onExportSection();
  bool hasSection() const;
  // Shows or hides the model (a section hides it); redraws.
  void setShowModel(bool show);
  // Tells the frame that what the section and model commands can do has changed.
  void notifySectionChanged() { emit sectionChanged(); }

  // Draws this view's frame (camera, settings, legend, axes, scale, banners) into an
  // offscreen framebuffer of exactly size pixels, as the window would show it at that size;
  // the window itself is not changed. A null image with error set when it cannot.
  QImage drawOffscreen(QSize size, std::string &error);
  // Annotations (ModelViewAnnotations.cpp). What is added to the window (banners, distances,
  // comments), moved, edited or deleted goes through the undo history as one step each.
  QUndoStack *undoStack() const { return undoStack_.get(); }
  // Adds what nodes that were just appended to their lists show to the document, as one
  // undoable step; the nodes themselves are released (the scene draws the new records).
  void recordAdded(const std::vector<SceneNode *> &nodes, const QString &text);
  // Removes the selected banners, distances and comments as one undoable step.
  void deleteSelected();
  // The list a banner, distance or comment belongs in; null for other nodes.
  NodeList *listFor(const SceneNode *node) const;
  // Releases nodes that are in no list, with this view's context current.
  void releaseNodes(const std::vector<SceneNode *> &nodes);
  // Drops what the view holds of a node that leaves its list.
  void forgetNode(SceneNode *node);
  // Selects only this banner, distance or comment (null: nothing), as a click on it would.
  void selectOnly(SceneNode *node);
  // The banners, distances and comments the undo history and a record start from: drops the
  // history (a restored record is where undo stops).
  void resetHistory();
  // Tells the frame and the callout list that the banners, distances or comments changed
  // outside the undo history (a record was applied).
  void notifyAnnotationsChanged() { emit annotationsChanged(); }

  // Measure distance: the next two left clicks each take the measured point shown within
  // 8 device pixels; Escape leaves the mode.
  void startMeasureDistance();
  void cancelMeasureDistance();
  bool isMeasuring() const { return measuring_; }
  // A click of the distance tool at device pixel (x, y down).
  void measureClick(int x, int y);

  // Call out worst points: asks for the count and spacing, then pins the banners.
  void onCalloutWorstPoints();
  // Pins banners on up to `count` worst points at least `spacing` mm apart (against the
  // view's tolerances), working off the GUI thread while the window stays painted; one
  // undoable step. Returns how many were pinned and says so in the status bar.
  int calloutWorstPoints(int count, double spacing);

  // Centres the camera on the model's bounds, as the load step does.
  void setCentreFromBounds();

  // Whether the context is a compatibility context (immediate mode draws); set once
  // initializeGL ran.
  bool contextUsable() const { return contextUsable_; }

  // Asked before the report and the exports read the session file again: false when they
  // must not go on (the file changed on disk and the user chose to reload it). Set by the
  // window's annotation record; unset means go on.
  std::function<bool()> confirmSessionFile;

  // The loaded session file carries nominal points (enables the magnification field).
  bool hasNominalPoints = false;

  // Frames drawn so far (for measuring the time to the first frame), and of those the
  // frames that showed the whole model.
  int framesDrawn = 0;
  int fullFramesDrawn = 0;

  // Mouse state.
  int lastX = 0, lastY = 0;
  int pressX = 0, pressY = 0;
  int lastDeltaX = 0, lastDeltaY = 0;
  SceneNode *draggedComment = nullptr;
  bool bannerHit = false;

  // Dialogs of this view (the last one of each kind).
  QPointer<SettingsDialog> settingsDialog;
  QPointer<QDialog> commentDialog;
  QPointer<QDialog> sectionDialog;

  QCursor rotateCursor, zoomCursor, arrowCursor, panCursor;

signals:
  // Emitted when the view gets focus or a click, so the frame can make it current.
  void activated(ModelView *view);
  // A text for the status bar's message pane.
  void statusMessage(const QString &text);
  // Banners, distances or comments were added, removed, moved or edited.
  void annotationsChanged();
  // The selection of banners, distances or comments may have changed.
  void selectionChanged();
  // Display settings were applied (tolerances may have changed).
  void settingsApplied();
  // A section was created or cleared, or the model was shown or hidden.
  void sectionChanged();

protected:
  void initializeGL() override;
  void resizeGL(int w, int h) override;
  void paintGL() override;
  void mousePressEvent(QMouseEvent *e) override;
  void mouseReleaseEvent(QMouseEvent *e) override;
  void mouseMoveEvent(QMouseEvent *e) override;
  void wheelEvent(QWheelEvent *e) override;
  void keyPressEvent(QKeyEvent *e) override;
  void keyReleaseEvent(QKeyEvent *e) override;
  void focusInEvent(QFocusEvent *e) override;

private:
  // Mouse positions arrive in logical pixels; picking and the frame count device pixels.
  QPoint devicePixel(const QPointF &logical) const;
  void endDrag();
  void afterFrame();
  // Follows (or starts, once wanted) the nearest-point index when no upload is pending.
  void watchLookup();
  void pumpUploads();
  // Drags of labels and comments become one undoable move each.
  void beginMoveRecording();
  void endMoveRecording();
  const QCursor &idleCursor() const;
  // The first point of a distance being measured, marked over the frame.
  void drawMeasureMarker();

  std::unique_ptr<ViewScene> scene_;
  std::shared_ptr<Document> document_;
  std::unique_ptr<SceneSync> sync_;
  std::unique_ptr<QUndoStack> undoStack_;
  PointLookup *lookup_; // a child object
  bool captured_ = false;
  bool contextUsable_ = false;
  bool frameQueued_ = false;
  bool pumpQueued_ = false;
  bool uploadShown_ = false;
  QElapsedTimer statusClock_;
  bool measuring_ = false;
  int measureFirst_ = -1; // the first point of the distance being measured
  std::vector<std::pair<SceneNode *, Vec3d>> moveStart_;
};
