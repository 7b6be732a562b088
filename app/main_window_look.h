#pragma once

class TForm1;

// The instrument widgets' own settings for the main window (fonts, colours,
// bevels, scales), kept apart from the window's places and texts.
// Indicators, LED, rocker switch and colour buttons:
void ApplyMainWindowLook(TForm1 &form);
// Battery meter, PC clocks, download gauge and the gradient background:
void ApplyMainWindowDialsLook(TForm1 &form);
