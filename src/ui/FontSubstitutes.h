#pragma once

// The windows ask for the fonts they were designed with ("Arial", "MS UI Gothic", ...). Maps
// them onto the fonts installed with the program: Liberation Sans (Arial's metrics) and the IPA
// Gothic font for Japanese. Call once after the QApplication exists, before any window is built.
void InstallFontSubstitutes();
