#pragma once
#include <QRectF>

struct DeviationStats;
struct DisplaySettings;
class QPainter;

// The statistics table of the report: count, extremes, moments, percentiles and the shares
// inside, above and below the tolerance, as two columns of text in area.
void paintStatisticsTable(QPainter &painter, const QRectF &area, const DeviationStats &stats);

// The histogram of the deviations over the legend's entries: a bar per legend bar in its
// colour, the counts below and above the band in bars of their own beside it, the tolerance
// limits marked, a count axis. stats.bands must hold the entries of
// reportHistogramScale(legend).
void paintHistogram(QPainter &painter, const QRectF &area, const DeviationStats &stats,
                    const DisplaySettings &legend);
