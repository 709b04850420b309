#pragma once
#include "view/Picking.h"

#include <QObject>
#include <QTimer>
#include <optional>

class SessionModel;
class ModelView;

// Follows the background build of the shown model's nearest-point index for one view: shows
// its progress in the status bar ("Preparing point lookup... N %", then "Ready"), and pins
// the banner of a click that only the unfinished index could place once the index is ready.
class PointLookup : public QObject {
  Q_OBJECT
public:
  explicit PointLookup(ModelView &view);

  // Starts the shown model's index when it has none yet (small models are indexed at once)
  // and follows its build, once the index is wanted. Cheap when there is nothing to do: the
  // view calls it every frame.
  void watch();
  // The pointer has been over the view: from now on the shown model's index is built. Until
  // then a model is only shown, and nothing but its drawing takes memory or time.
  void want() { wanted_ = true; }
  // Keeps a click taken while the index was being built; a newer click replaces it.
  void deferClick(const picking::FrameSample &sample);
  bool clickPending() const { return pendingClick_.has_value(); }

private:
  void poll();

  ModelView &view_;
  QTimer timer_;
  const SessionModel *model_ = nullptr; // the model followed
  std::optional<picking::FrameSample> pendingClick_;
  int shownPercent_ = -1; // last progress put in the status bar; -1 none
  bool wanted_ = false;
};
