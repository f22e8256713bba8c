// Fonts the program asks for by name: registers the metric-compatible Tahoma that
// Debian's fonts-wine ships (fontconfig does not scan its folder). GUI thread only.
#pragma once

#include <QFont>
#include <QString>
#include <thread>

namespace velloria {

// Loads fontconfig's configuration and its list of the system's fonts on a thread of its
// own, begun before the application object: the first use of a font needs both, and
// loading them (the largest single piece of a start's work) then overlaps the connection
// to the display. `wait()` (or the destructor) joins the thread; call it before the first
// font.
class FontConfigurationPreload {
 public:
  FontConfigurationPreload();
  ~FontConfigurationPreload();
  FontConfigurationPreload(const FontConfigurationPreload&) = delete;
  FontConfigurationPreload& operator=(const FontConfigurationPreload&) = delete;
  void wait();

 private:
  std::thread m_loader;
};

// Where fonts-wine puts its Tahoma.
inline constexpr const char* kWineTahomaPath = "/usr/share/wine/fonts/tahoma.ttf";

// Registers `path` (default: fonts-wine's Tahoma) with the application when the file
// exists. Returns true when that file provided "Tahoma"; otherwise asking for "Tahoma"
// gives whatever fontconfig has under that name or the system's sans-serif font.
// Needs a QGuiApplication.
bool RegisterTahoma(const QString& path = QString::fromLatin1(kWineTahomaPath));

// "Tahoma" of height -11 (11 pixels from the top of the accents to the baseline, 8 points
// at 96 dpi), the font of the main window and its controls.
QFont WindowFont();

}  // namespace velloria
