#pragma once

// Numeric command ids; every QAction keeps its id as data(), so commands route by number.
enum CommandId : int {
  ID_SNAPSHOT = 222,
  ID_ADD_COMMENT = 223,
  ID_EXPORT = 32773,
  ID_SHOW_ALL_POINTS = 32774,
  ID_GENERATE_SECTION_CURVE = 32777,
  ID_TOLERANCE = 32782,
  ID_VIEW_SHOW_MODEL = 32783,
  ID_CLEAR_SECTION = 32784,
  ID_EXPORT_SECTION = 32785,
  // The standard views, in the order of their keys 1 to 7.
  ID_VIEW_FRONT = 32786,
  ID_VIEW_BACK = 32787,
  ID_VIEW_TOP = 32788,
  ID_VIEW_BOTTOM = 32789,
  ID_VIEW_LEFT = 32790,
  ID_VIEW_RIGHT = 32791,
  ID_VIEW_ISOMETRIC = 32792,
  ID_VIEW_RESET = 32793,
  ID_WINDOW_NEXT = 32794,
  ID_CREATE_REPORT = 32810,
  // Inspection records: callout table, distance tool, worst points, the Callouts dock.
  ID_EXPORT_CALLOUTS = 32795,
  ID_MEASURE_DISTANCE = 32796,
  ID_CALLOUT_WORST_POINTS = 32797,
  ID_VIEW_CALLOUTS = 32798,
  ID_FILE_NEW = 57600,
  ID_FILE_OPEN = 57601,
  ID_FILE_CLOSE = 57602,
  ID_FILE_SAVE = 57603, // Save annotations
  ID_FILE_SAVE_AS = 57604,
  ID_FILE_PRINT_SETUP = 57606,
  ID_FILE_PRINT = 57607,
  ID_FILE_PRINT_PREVIEW = 57609,
  // The recent-file entries of the File menu, most recent first.
  ID_FILE_MRU_FILE1 = 57616,
  ID_FILE_MRU_FILE4 = 57619,
  ID_EDIT_COPY = 57634,
  ID_EDIT_CUT = 57635,
  ID_EDIT_PASTE = 57637,
  ID_EDIT_UNDO = 57643,
  ID_EDIT_REDO = 57644,
  ID_WINDOW_CASCADE = 57650,
  ID_WINDOW_TILE_HORZ = 57651,
  ID_APP_ABOUT = 57664,
  ID_APP_EXIT = 57665,
  ID_NEXT_PANE = 57680,
  ID_PREV_PANE = 57681,
  ID_VIEW_STATUS_BAR = 59393,
};

// Resource ids of menus, tool bar, templates and dialogs.
enum ResourceId : int {
  IDR_MAINFRAME = 128,
  IDR_SESSION_TYPE = 1289,
  IDR_SESSION_TYPE_SMALL = 1290,
  IDR_PREVIEW_TYPE = 1291,
  IDD_ABOUTBOX = 100,
};

// Status bar indicator string ids.
enum IndicatorId : int {
  ID_INDICATOR_CAPS = 59137,
  ID_INDICATOR_NUM = 59138,
  ID_INDICATOR_SCRL = 59139,
};
