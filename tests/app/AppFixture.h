#pragma once
// The real application object and main frame, with scripted message boxes and dialogs.
#include "app/Application.h"
#include "app/DocumentWindow.h"
#include "app/MainWindow.h"
#include "app/SessionDocument.h"
#include "gui/TestFiles.h"
#include "scene/GLPointCloud.h"
#include "session/SessionModel.h"
#include "view/ModelView.h"
#include "view/UiServices.h"
#include "view/ViewScene.h"

#include <QMdiArea>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

// Records messages; answers file dialogs with the next scripted path ("" = cancel).
class FakeUi : public UiServices {
public:
  void message(QWidget *, const QString &text, const QString &detail, Icon) override {
    messages.push_back(text + (detail.isEmpty() ? QString() : "\n" + detail));
  }
  bool question(QWidget *, const QString &text, const QString &) override {
    questions.push_back(text);
    return questionAnswer;
  }
  // "Save annotations?": the scripted answer, each question counted.
  SaveChoice saveChanges(QWidget *, const QString &text, const QString &) override {
    saveQuestions.push_back(text);
    return saveChoice;
  }
  // Three-way questions: the next scripted answer (-1 = Cancel when none is left).
  int choose(QWidget *, const QString &text, const QString &, const QStringList &) override {
    choices.push_back(text);
    return chooseAnswers.empty() ? -1 : chooseAnswers.takeFirst();
  }
  QString openFileName(QWidget *, const QString &title, const QStringList &filters,
                       const QString &suffix, const QString &directory) override {
    lastTitle = title;
    lastFilters = filters;
    lastSuffix = suffix;
    lastDirectory = directory;
    return openAnswers.isEmpty() ? QString() : openAnswers.takeFirst();
  }
  QString saveFileName(QWidget *, const QString &, const QString &, const QStringList &,
                       const QString &, QString *) override {
    return saveAnswers.isEmpty() ? QString() : saveAnswers.takeFirst();
  }
  QStringList messages, openAnswers, saveAnswers, lastFilters, questions, saveQuestions, choices;
  QList<int> chooseAnswers;
  bool questionAnswer = true;
  SaveChoice saveChoice = SaveChoice::Discard;
  QString lastTitle, lastSuffix, lastDirectory;
};

class AppFixture : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    // Settings of this test alone: test programs running side by side share no recent files.
    ASSERT_TRUE(settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    UiServices::setInstance(&ui);
    app = std::make_unique<Application>();
    ASSERT_TRUE(app->initInstance(QString()));
    frame = app->mainFrame();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame));
    QObject::connect(frame, &MainWindow::statusTextShown,
                     [this](const QString &t) { statusTexts.push_back(t); });
  }
  void TearDown() override {
    app.reset();
    UiServices::setInstance(nullptr);
  }

  QString file(const QString &name) const { return dir.path() + "/" + name; }
  QString sessionFile(const QString &name = "part.ses", bool nominal = false) {
    writeSquareSession(file(name).toStdString(), nominal);
    return file(name);
  }
  QString pointFile(const QString &name = "cloud.xyz") {
    writeTextFile(file(name).toStdString(), "0 0 0\n4 0 1\n4 2 2\n0 2 3\n");
    return file(name);
  }
  // The window commands act on: the frame's active child.
  ModelView *activeView() const {
    DocumentWindow *c = frame ? frame->activeChild() : nullptr;
    return c ? c->view() : nullptr;
  }
  SessionDocument *activeDocument() const {
    DocumentWindow *c = frame ? frame->activeChild() : nullptr;
    return c ? c->document() : nullptr;
  }
  GLPointCloud *currentNode() const {
    return activeDocument() ? activeDocument()->pointCloud() : nullptr;
  }

  QTemporaryDir dir, settingsDir;
  FakeUi ui;
  std::unique_ptr<Application> app;
  MainWindow *frame = nullptr;
  QStringList statusTexts;
};
