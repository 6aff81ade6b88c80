// Saves a window as a PNG under build/screenshots/ for people to look at.
#pragma once
#include <windows.h>

#include <string>

namespace tvtest {

// Directory for screenshots: %TV_SCREENSHOT_DIR% when set (the test runner
// sets it to <build>/screenshots), else "screenshots" beside the test program.
std::string ScreenshotDirectory();

// Captures the window's screen area and writes <dir>/<name>.png; returns the
// written path, or an empty string on failure.
std::string SaveWindowScreenshot(HWND hwnd, const std::string& name);

// Encodes 32-bit BGRA pixels, top row first, as a PNG file (stored deflate).
bool WritePng(const std::string& path, int width, int height, const unsigned char* bgra);

}  // namespace tvtest
