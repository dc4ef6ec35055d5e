#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

class QImage;

namespace remote::ui {

class CWavrixView;

// One picture of the remote: a file name and how to draw it. Setup pages add
// their own rows to the list.
struct ViewPicture {
  std::string file;
  std::function<QImage(CWavrixView&)> draw;
};

// The view with the CD drive and with another source, the menus, and the
// source menu. The view shows what its unit reports; the source of a picture
// is changed in the view's copy of the unit's state only, nothing is sent.
std::vector<ViewPicture> StandardPictures();
// Draws every picture into `dir` as PNG; false with the reason.
bool DrawPictures(CWavrixView& view, const std::vector<ViewPicture>& pictures,
                  const std::filesystem::path& dir, std::string& error);

}  // namespace remote::ui
