#pragma once
// The state of one session window as plain data: its model and file, the display settings,
// the banners, distances, comments, section and camera as records, what was last saved or
// restored, and which bytes the sidecar and the session file held when the window read or
// wrote them. Every edit is a method that tells the listeners what changed; the document never
// reaches for a window, so the window draws its scene from the document and the undo steps,
// Save and the callout table read and edit it.
#include "records/Annotations.h"
#include "records/FileIdentity.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class SessionModel;

class Document {
public:
  // What an edit changed; index is the entry of a list (or kAll for the whole list).
  enum class Part { Banners, Distances, Comments, Section, Display, Camera };
  enum class Kind { Inserted, Removed, Changed, Reset };
  static constexpr std::size_t kAll = std::size_t(-1);
  struct Change {
    Part part;
    Kind kind;
    std::size_t index = kAll;
  };
  using Listener = std::function<void(const Change &)>;

  Document() = default;
  Document(std::string sessionPath, std::shared_ptr<const SessionModel> model);

  // The model shown (shared with the node that draws it, or referred to without owning it
  // when the node outlives the document) and the file it was read from.
  const std::shared_ptr<const SessionModel> &model() const { return model_; }
  void setModel(std::shared_ptr<const SessionModel> model) { model_ = std::move(model); }
  const std::string &sessionPath() const { return sessionPath_; }
  // The sidecar beside the session file, and the file Save writes (the sidecar until
  // "Save as" chose another).
  std::string sidecarPath() const { return sidecarPathFor(sessionPath_); }
  const std::string &targetPath() const { return targetPath_; }
  void setTargetPath(std::string path) { targetPath_ = std::move(path); }

  // Identity of the model's points (filled once, off the GUI thread).
  const ModelIdentity &identity() const { return annotations_.session; }
  void setIdentity(const ModelIdentity &identity) { annotations_.session = identity; }

  // Everything the window shows of its record.
  const Annotations &annotations() const { return annotations_; }
  const DisplaySettings &display() const { return annotations_.display; }
  const std::vector<BannerRecord> &banners() const { return annotations_.banners; }
  const std::vector<DistanceRecord> &distances() const { return annotations_.distances; }
  const std::vector<CommentRecord> &comments() const { return annotations_.comments; }
  const std::optional<SectionRecord> &section() const { return annotations_.section; }
  const CameraRecord &camera() const { return annotations_.camera; }

  // Edits. Indices outside the lists are ignored (insert clamps to the end); each edit that
  // changes something notifies the listeners once.
  void insertBanner(std::size_t at, BannerRecord banner);
  void insertDistance(std::size_t at, DistanceRecord distance);
  void insertComment(std::size_t at, CommentRecord comment);
  std::size_t addBanner(BannerRecord banner);
  std::size_t addDistance(DistanceRecord distance);
  std::size_t addComment(CommentRecord comment);
  void removeBanner(std::size_t index);
  void removeDistance(std::size_t index);
  void removeComment(std::size_t index);
  void setBannerOffset(std::size_t index, const Vec3d &boxOffset);
  void setDistanceOffset(std::size_t index, const Vec3d &boxOffset);
  void setCommentPosition(std::size_t index, double x, double y);
  // The callout table's comment of a banner or a distance.
  void setBannerComment(std::size_t index, std::string comment);
  void setDistanceComment(std::size_t index, std::string comment);
  void setSection(std::optional<SectionRecord> section);
  void setDisplay(const DisplaySettings &display);
  void setCamera(const CameraRecord &camera);

  // Replaces everything but the model identity with a record read from a file or elsewhere:
  // it is checked with sanitize() first (a record from the reader passes unchanged), so
  // nothing is shown from a value the settings dialog would refuse. Returns sanitize's notes
  // (the window shows them). The record becomes the saved baseline.
  std::vector<std::string> restore(Annotations record);

  // The record differs from what was last saved or restored (the camera does not count).
  bool hasUnsavedChanges() const;
  // What is shown now is what the file holds: after a save, a restore, or the first frame.
  void markSaved();

  // The bytes of the sidecar when it was read or last written (none: there was no sidecar),
  // and of the session file when it was opened.
  const std::optional<FileIdentity> &sidecarIdentity() const { return sidecarIdentity_; }
  void setSidecarIdentity(std::optional<FileIdentity> identity) {
    sidecarIdentity_ = std::move(identity);
  }
  void setSessionIdentity(std::optional<FileIdentity> identity) {
    sessionIdentity_ = std::move(identity);
  }
  // The session file's size and modification time now (no hash: it may be large).
  std::optional<FileIdentity> sessionIdentityOnDisk() const;
  // Another window or program wrote the target since this window read or wrote it: its bytes
  // differ, or there was none and now there is one (one that is gone holds nobody's work).
  bool sidecarChangedOnDisk() const;
  // The session file is not the one opened (size or modification time differ, or it is gone).
  bool sessionChangedOnDisk() const;

  // Listeners are called after each edit, in the order they were added.
  int addListener(Listener listener);
  void removeListener(int id);

private:
  void notify(Part part, Kind kind, std::size_t index = kAll);
  static Annotations comparable(Annotations a);

  std::shared_ptr<const SessionModel> model_;
  std::string sessionPath_, targetPath_;
  Annotations annotations_;
  Annotations baseline_; // comparable() form of what was last saved or restored
  std::optional<FileIdentity> sidecarIdentity_, sessionIdentity_;
  std::vector<std::pair<int, Listener>> listeners_;
  int nextListener_ = 1;
};
