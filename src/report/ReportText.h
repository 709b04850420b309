#pragma once
#include <QString>
#include <cstddef>

// Numbers as the report prints them: counts with thousands separators, lengths in mm with
// a sign, shares as "count (percent)". A share that is neither none nor all never prints as
// 0 % or 100 %.
QString countText(std::size_t n);
QString millimetres(double v, int decimals = 4);
QString percentText(std::size_t part, std::size_t whole);
QString shareText(std::size_t part, std::size_t whole);
