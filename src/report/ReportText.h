#pragma once
#include <QString>
#include <cstddef>

// Numbers as the report prints them: counts with thousands separators, lengths in mm with
// a sign, shares as "count (percent)". A share that is neither none nor all never prints as
// 0 % or 100 %.
QString countText(std::size_t n);
QString millimetres(double v, int decimals = 4);
// millimetres(v, decimals), or v in scientific notation when that is longer than maxChars
// (an extreme value never runs over its column).
QString fittedNumber(double v, int decimals, int maxChars);
QString percentText(std::size_t part, std::size_t whole);
QString shareText(std::size_t part, std::size_t whole);
