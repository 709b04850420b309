#include "document/Document.h"

#include <algorithm>
#include <sys/stat.h>

namespace {

template <class T> bool insertAt(std::vector<T> &list, std::size_t &at, T value) {
  at = std::min(at, list.size());
  list.insert(list.begin() + std::ptrdiff_t(at), std::move(value));
  return true;
}

template <class T> bool eraseAt(std::vector<T> &list, std::size_t at) {
  if (at >= list.size())
    return false;
  list.erase(list.begin() + std::ptrdiff_t(at));
  return true;
}

// Size and modification time only: a session file may be hundreds of megabytes, and the
// question it answers ("was it replaced?") needs no hash.
std::optional<FileIdentity> statOf(const std::string &path) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    return std::nullopt;
  FileIdentity id;
  id.size = std::uint64_t(st.st_size);
  id.mtimeNs = std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return id;
}

} // namespace

Document::Document(std::string sessionPath, std::shared_ptr<const SessionModel> model)
    : model_(std::move(model)), sessionPath_(std::move(sessionPath)),
      targetPath_(sessionPath_.empty() ? std::string() : sidecarPathFor(sessionPath_)) {
  sessionIdentity_ = statOf(sessionPath_);
  baseline_ = comparable(annotations_);
}

void Document::insertBanner(std::size_t at, BannerRecord banner) {
  insertAt(annotations_.banners, at, std::move(banner));
  notify(Part::Banners, Kind::Inserted, at);
}

void Document::insertDistance(std::size_t at, DistanceRecord distance) {
  insertAt(annotations_.distances, at, std::move(distance));
  notify(Part::Distances, Kind::Inserted, at);
}

void Document::insertComment(std::size_t at, CommentRecord comment) {
  insertAt(annotations_.comments, at, std::move(comment));
  notify(Part::Comments, Kind::Inserted, at);
}

std::size_t Document::addBanner(BannerRecord banner) {
  insertBanner(kAll, std::move(banner));
  return annotations_.banners.size() - 1;
}

std::size_t Document::addDistance(DistanceRecord distance) {
  insertDistance(kAll, std::move(distance));
  return annotations_.distances.size() - 1;
}

std::size_t Document::addComment(CommentRecord comment) {
  insertComment(kAll, std::move(comment));
  return annotations_.comments.size() - 1;
}

void Document::removeBanner(std::size_t index) {
  if (eraseAt(annotations_.banners, index))
    notify(Part::Banners, Kind::Removed, index);
}

void Document::removeDistance(std::size_t index) {
  if (eraseAt(annotations_.distances, index))
    notify(Part::Distances, Kind::Removed, index);
}

void Document::removeComment(std::size_t index) {
  if (eraseAt(annotations_.comments, index))
    notify(Part::Comments, Kind::Removed, index);
}

void Document::setBannerOffset(std::size_t index, const Vec3d &boxOffset) {
  if (index >= annotations_.banners.size() || annotations_.banners[index].boxOffset == boxOffset)
    return;
  annotations_.banners[index].boxOffset = boxOffset;
  notify(Part::Banners, Kind::Changed, index);
}

void Document::setDistanceOffset(std::size_t index, const Vec3d &boxOffset) {
  if (index >= annotations_.distances.size() ||
      annotations_.distances[index].boxOffset == boxOffset)
    return;
  annotations_.distances[index].boxOffset = boxOffset;
  notify(Part::Distances, Kind::Changed, index);
}

void Document::setCommentPosition(std::size_t index, double x, double y) {
  if (index >= annotations_.comments.size())
    return;
  CommentRecord &c = annotations_.comments[index];
  if (c.x == x && c.y == y)
    return;
  c.x = x;
  c.y = y;
  notify(Part::Comments, Kind::Changed, index);
}

void Document::setBannerComment(std::size_t index, std::string comment) {
  if (index >= annotations_.banners.size() || annotations_.banners[index].comment == comment)
    return;
  annotations_.banners[index].comment = std::move(comment);
  notify(Part::Banners, Kind::Changed, index);
}

void Document::setDistanceComment(std::size_t index, std::string comment) {
  if (index >= annotations_.distances.size() || annotations_.distances[index].comment == comment)
    return;
  annotations_.distances[index].comment = std::move(comment);
  notify(Part::Distances, Kind::Changed, index);
}

void Document::setSection(std::optional<SectionRecord> section) {
  if (annotations_.section == section)
    return;
  annotations_.section = std::move(section);
  notify(Part::Section, Kind::Reset);
}

void Document::setDisplay(const DisplaySettings &display) {
  if (annotations_.display == display)
    return;
  annotations_.display = display;
  notify(Part::Display, Kind::Reset);
}

void Document::setCamera(const CameraRecord &camera) {
  if (annotations_.camera == camera)
    return;
  annotations_.camera = camera;
  notify(Part::Camera, Kind::Reset);
}

std::vector<std::string> Document::restore(Annotations record) {
  std::vector<std::string> notes = sanitize(record);
  record.session = annotations_.session;
  annotations_ = std::move(record);
  baseline_ = comparable(annotations_);
  for (Part p :
       {Part::Display, Part::Camera, Part::Banners, Part::Distances, Part::Comments, Part::Section})
    notify(p, Kind::Reset);
  return notes;
}

Annotations Document::comparable(Annotations a) {
  a.camera = {};
  a.session = {};
  a.versionMajor = Annotations::kFormatMajor;
  a.versionMinor = Annotations::kFormatMinor;
  return a;
}

bool Document::hasUnsavedChanges() const { return !(comparable(annotations_) == baseline_); }

void Document::markSaved() { baseline_ = comparable(annotations_); }

bool Document::sidecarChangedOnDisk() const {
  // A file that is gone holds nobody's work: writing it loses nothing.
  const std::optional<FileIdentity> now = FileIdentity::of(targetPath_);
  if (!now)
    return false;
  return !sidecarIdentity_ || !(*now == *sidecarIdentity_);
}

std::optional<FileIdentity> Document::sessionIdentityOnDisk() const { return statOf(sessionPath_); }

bool Document::sessionChangedOnDisk() const {
  if (sessionPath_.empty())
    return false;
  const std::optional<FileIdentity> now = statOf(sessionPath_);
  if (!now || !sessionIdentity_)
    return now.has_value() != sessionIdentity_.has_value();
  return now->size != sessionIdentity_->size || now->mtimeNs != sessionIdentity_->mtimeNs;
}

int Document::addListener(Listener listener) {
  listeners_.emplace_back(nextListener_, std::move(listener));
  return nextListener_++;
}

void Document::removeListener(int id) {
  std::erase_if(listeners_, [id](const auto &l) { return l.first == id; });
}

void Document::notify(Part part, Kind kind, std::size_t index) {
  const Change change{part, kind, index};
  // A listener may remove itself: call a copy.
  const auto listeners = listeners_;
  for (const auto &[id, listener] : listeners)
    listener(change);
}
