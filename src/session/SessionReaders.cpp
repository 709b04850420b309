#include "session/SessionModel.h"

bool SessionModel::ReadSessionFile() {
  error_ = path + ": the session reader is not available in this build";
  return false;
}

bool SessionModel::ReadPointTextFile() {
  error_ = path + ": the point text reader is not available in this build";
  return false;
}
