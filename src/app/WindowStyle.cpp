#include "app/WindowStyle.h"

#include <QMainWindow>

const char *windowStyleSheet() {
  return R"(
QMenuBar { background: #eef1f5; border-bottom: 1px solid #c8ced8; }
QMenuBar::item { padding: 3px 9px; background: transparent; }
QMenuBar::item:selected { background: #d6e2f3; border-radius: 3px; }
QMenu { background: #fbfcfd; border: 1px solid #b9c2cf; }
QMenu::item { padding: 4px 24px 4px 22px; }
QMenu::item:selected { background: #d6e2f3; color: black; }
QMenu::item:disabled { color: #9aa3ad; }
QMenu::separator { height: 1px; background: #d5dae2; margin: 3px 6px; }
QToolBar { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #f6f8fb, stop:1 #e3e8ef);
           border-bottom: 1px solid #c8ced8; spacing: 2px; padding: 2px; }
QToolButton { border: 1px solid transparent; border-radius: 3px; padding: 2px; }
QToolButton:hover { border-color: #9db4d6; background: #e3ecf8; }
QToolButton:pressed { background: #cbdaf0; }
QStatusBar { background: #eef1f5; border-top: 1px solid #c8ced8; }
QStatusBar QLabel { padding: 0 6px; }
QMdiArea { background: #8a96a6; }
)";
}

void applyWindowStyle(QMainWindow &frame) {
  frame.setStyleSheet(QString::fromLatin1(windowStyleSheet()));
}
