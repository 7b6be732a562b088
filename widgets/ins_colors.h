#pragma once

#include <QColor>

#include <cstdint>

// Colours as the forms write them: RGB with red in the low byte
// (15790320 is grey F0 F0 F0, 4227327 is orange FF 80 40).
inline QColor ColorFromRGB(uint32_t c) { return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)); }

// The named colours the widgets and forms use.
inline const QColor clBlack{0, 0, 0};
inline const QColor clWhite{255, 255, 255};
inline const QColor clRed{255, 0, 0};
inline const QColor clLime{0, 255, 0};
inline const QColor clGreen{0, 128, 0};
inline const QColor clBlue{0, 0, 255};
inline const QColor clNavy{0, 0, 128};
inline const QColor clYellow{255, 255, 0};
inline const QColor clAqua{0, 255, 255};
inline const QColor clTeal{0, 128, 128};
inline const QColor clSilver{192, 192, 192};
inline const QColor clGray{128, 128, 128};
inline const QColor clMaroon{128, 0, 0};
inline const QColor clOlive{128, 128, 0};
inline const QColor clPurple{128, 0, 128};
inline const QColor clFuchsia{255, 0, 255};
inline const QColor clMoneyGreen{192, 220, 192};
inline const QColor clSkyBlue{166, 202, 240};

// System colours follow the desktop's palette, resolved when asked for.
QColor clBtnFace();
QColor clBtnShadow();
QColor clBtnHighlight();
QColor clDesktop();

// Per-component blend From + round((To - From) * num / den); den > 0.
QColor BlendColor(const QColor &from, const QColor &to, int num, int den);
