#pragma once

#include <QFont>

// The windows were laid out with fonts given in points on a 96 dpi screen.
// They are turned into whole pixels here, the way Windows turned them
// (-MulDiv(points, 96, 72): 8 pt is 11 px, 10 pt is 13 px), so that every
// window measures the same on any screen, whatever dpi it reports.
int FormPixels(int points);

// A form's font: the family it names, the size in points as the form gives
// it, held as that pixel size.
QFont FormFont(const char *family, int points, bool bold = false, bool italic = false);
