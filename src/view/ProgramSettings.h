#pragma once
#include <string>

// Path of the file most recently loaded into a 3D document (the exports read it again).
std::string currentSessionPath();
void setCurrentSessionPath(const std::string &path);
