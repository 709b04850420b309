#pragma once
// A scripted stand-in for the viewer's message boxes and file dialogs: save dialogs answer
// with a prepared path and every call is recorded.
#include "view/UiServices.h"

#include <QFile>
#include <QImage>
#include <QStringList>
#include <cstdint>
#include <vector>

struct FakeUi : UiServices {
  struct Message {
    QString text, detail;
    Icon icon;
  };
  struct SaveCall {
    QString title, defaultName, defaultSuffix;
    QStringList filters;
  };

  QString nextSavePath;   // empty: the user cancels
  QString nextSaveFilter; // the filter the user picked
  std::vector<Message> messages;
  std::vector<SaveCall> saveCalls;

  FakeUi() { UiServices::setInstance(this); }
  ~FakeUi() override { UiServices::setInstance(nullptr); }

  void message(QWidget *, const QString &text, const QString &detail, Icon icon) override {
    messages.push_back({text, detail, icon});
  }
  bool question(QWidget *, const QString &, const QString &) override { return true; }
  QString openFileName(QWidget *, const QString &, const QStringList &, const QString &,
                       const QString &) override {
    return {};
  }
  QString saveFileName(QWidget *, const QString &title, const QString &defaultName,
                       const QStringList &filters, const QString &defaultSuffix,
                       QString *selectedFilter) override {
    saveCalls.push_back({title, defaultName, defaultSuffix, filters});
    if (selectedFilter)
      *selectedFilter = nextSaveFilter.isEmpty() ? filters.value(0) : nextSaveFilter;
    return nextSavePath;
  }
};

inline QByteArray readAllBytes(const QString &path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline std::uint32_t le32(const QByteArray &b, int at) {
  return std::uint32_t(std::uint8_t(b[at])) | std::uint32_t(std::uint8_t(b[at + 1])) << 8 |
         std::uint32_t(std::uint8_t(b[at + 2])) << 16 |
         std::uint32_t(std::uint8_t(b[at + 3])) << 24;
}

// Channels equal within one step (framebuffers may round a channel differently by one).
inline bool near(QRgb a, QRgb b, int tolerance = 1) {
  return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
         std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

// Pixels of image within the rectangle whose colour is near c.
inline int countNear(const QImage &image, QRgb c, QRect area = {}, int tolerance = 1) {
  if (area.isNull())
    area = image.rect();
  int n = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      n += near(image.pixel(x, y), c, tolerance);
  return n;
}
