#pragma once

#include <QRectF>

class QPainter;

// The remote's bitmaps, drawn as vector shapes so they stay crisp at every
// device pixel ratio: button faces in their normal and pressed looks, the
// view's background and its panels.
namespace remote::ui::artwork {

enum class Face {
  kLogo,
  kMute,
  kFade,
  kPower,
  kVolumeDown,
  kVolumeUp,
  kPlay,
  kPause,
  kStop,
  kEject,
  kPrevious,
  kNext,
  kRewind,
  kForward,
  kTrack,
  kSource,
};

void DrawButton(QPainter& p, const QRectF& r, Face face, bool pressed, bool enabled);
void DrawBackground(QPainter& p, const QRectF& r);
// The light panels the texts sit on: main, volume and CD panel.
void DrawPanel(QPainter& p, const QRectF& r);

}  // namespace remote::ui::artwork
