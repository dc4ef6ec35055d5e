#include "remote/ui/ViewPictures.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QMenu>
#include <QPainter>

#include "protocol/remote/RemoteFrame.h"
#include "protocol/remote/RemoteProtocol.h"
#include "remote/ui/CWavrixView.h"
#include "remote/ui/ViewIds.h"

namespace remote::ui {

namespace {

namespace pr = protocol::remote;
using pr::StatusRecord;

// Hands the view's unit model a status record as if the unit had sent it.
void ShowStatus(CWavrixView& view, const StatusRecord& status) {
  pr::RemoteFrame frame;
  frame.command = pr::kRecStatus;
  const auto bytes = status.Encode();
  frame.payload.assign(bytes.begin(), bytes.end());
  view.State().Dispatch(frame.Encode());
  QApplication::processEvents();
  view.Refresh();
}

constexpr int kUnitAnswerMs = 3000;
// The CD picture plays a track past the first, so the disc time runs.
constexpr std::uint8_t kPictureTrack = 3;

// Lets the view work until `done` or the unit has had its time to answer.
template <typename Condition>
bool WaitForUnit(Condition done) {
  QElapsedTimer waited;
  waited.start();
  while (!done()) {
    if (waited.elapsed() > kUnitAnswerMs) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

// Moves the current source to the first source whose kind the picture wants:
// on the unit itself when one answers (the CD then plays), else in the view's
// own model as if the unit had said so.
void ChooseSource(CWavrixView& view, bool cd) {
  auto& state = view.State();
  const link::UnitEntry* chosen = nullptr;
  for (const auto& e : state.Sources()) {
    const bool entryIsCd = e.slot == ids::kMainUnitSlot && e.input == 0;
    if (entryIsCd == cd) {
      chosen = &e;
      break;
    }
  }
  if (chosen == nullptr) return;
  const std::uint8_t slot = chosen->slot, input = chosen->input;
  auto isChosen = [&] {
    return state.Status().sourceSlot == slot && state.Status().sourceInput == input;
  };
  bool onUnit = false;
  if (view.Link().IsOpen() && state.HaveStatus()) {
    if (!state.Status().PowerOn()) state.TogglePower();
    state.SelectSource(slot, input);
    onUnit = WaitForUnit([&] { return isChosen() && state.Status().PowerOn(); });
    if (onUnit && cd) {
      state.CdPlay(kPictureTrack);
      WaitForUnit([&] { return state.Disc().DiscPresent() && state.Disc().actualSeconds != 0; });
    }
    view.Refresh();
  }
  if (!onUnit) {
    StatusRecord s = state.Status();
    s.sourceSlot = slot;
    s.sourceInput = input;
    s.flags = static_cast<std::uint16_t>(
        (s.flags & ~StatusRecord::kSourceKindMask) |
        ((cd ? StatusRecord::kSourceKindCd : 0) << StatusRecord::kSourceKindShift));
    s.flags |= StatusRecord::kPowerOn;
    ShowStatus(view, s);
  }
  if (cd) view.SlideCdPanelInNow();
}

QImage Grab(QWidget& widget, double ratio) {
  QImage image(widget.size() * ratio, QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(ratio);
  image.fill(Qt::black);
  widget.render(&image);
  return image;
}

// A menu as it pops up over the view at `at`: scrolled within the screen's
// height where it is taller.
QImage MenuShot(CWavrixView& view, QMenu& menu, QPoint at) {
  menu.popup(view.mapToGlobal(at));
  QApplication::processEvents();
  QImage shot = Grab(menu, 1);
  menu.hide();
  return shot;
}

// Draws `shot` over `image` at `at`, moved as little as needed to lie within it.
QPoint DrawWithin(QImage& image, const QImage& shot, QPoint at) {
  at.setX(std::max(0, std::min(at.x(), image.width() - shot.width())));
  at.setY(std::max(0, std::min(at.y(), image.height() - shot.height())));
  QPainter p(&image);
  p.drawImage(at, shot);
  return at;
}

// The view with the menu chain `path` open over it, each sub-menu beside its parent item.
QImage WithMenus(CWavrixView& view, const std::vector<QString>& path) {
  QImage image = Grab(view, 1);
  QMenu* menu = &view.PopupMenu();
  QPoint at(6, 48);
  for (std::size_t i = 0;; ++i) {
    at = DrawWithin(image, MenuShot(view, *menu, at), at);
    if (i == path.size()) break;
    QMenu* next = nullptr;
    for (QAction* a : menu->actions()) {
      if (a->menu() != nullptr && a->text() == path[i]) {
        next = a->menu();
        at += menu->actionGeometry(a).topLeft() + QPoint(40, 6);
      }
    }
    if (next == nullptr) break;
    menu = next;
  }
  return image;
}

}  // namespace

std::vector<ViewPicture> StandardPictures() {
  return {
      {"01-view-cd.png",
       [](CWavrixView& v) {
         ChooseSource(v, true);
         return Grab(v, 1);
       }},
      {"02-view-cd@2x.png", [](CWavrixView& v) { return Grab(v, 2); }},
      {"03-view-source.png",
       [](CWavrixView& v) {
         ChooseSource(v, false);
         return Grab(v, 1);
       }},
      {"04-view-source@2x.png", [](CWavrixView& v) { return Grab(v, 2); }},
      {"05-menu.png", [](CWavrixView& v) { return WithMenus(v, {}); }},
      {"06-menu-wavrix.png",
       [](CWavrixView& v) {
         return WithMenus(v, {"Wavrix", "&Connect"});
       }},
      {"07-menu-output.png", [](CWavrixView& v) { return WithMenus(v, {"Output"}); }},
      {"08-menu-setup.png", [](CWavrixView& v) { return WithMenus(v, {"Setup"}); }},
      {"09-menu-service.png",
       [](CWavrixView& v) {
         const bool was = v.ServiceMode();
         v.SetServiceMode(true);
         QImage image = WithMenus(v, {"Wavrix", "Ser&vice"});
         v.SetServiceMode(was);
         return image;
       }},
      {"10-source-menu.png",
       [](CWavrixView& v) {
         QMenu menu(QStringLiteral("Input"), &v);
         v.FillSourceMenu(ids::kFirstSourceButton, menu);
         QImage image = Grab(v, 1);
         if (menu.isEmpty()) return image;
         const QImage shot = MenuShot(v, menu, QPoint(10, 0));
         DrawWithin(image, shot, QPoint(10, 239 - shot.height()));
         return image;
       }},
      {"11-menu-bits.png",
       [](CWavrixView& v) {
         const bool was = v.ServiceMode();
         v.SetServiceMode(true);
         QImage image = WithMenus(v, {"Wavrix", "Ser&vice", "&Bit-Resolution"});
         v.SetServiceMode(was);
         return image;
       }},
  };
}

bool DrawPictures(CWavrixView& view, const std::vector<ViewPicture>& pictures,
                  const std::filesystem::path& dir, std::string& error) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  for (const ViewPicture& picture : pictures) {
    QApplication::processEvents();
    const QImage image = picture.draw(view);
    const auto path = dir / picture.file;
    if (!image.save(QString::fromStdString(path.string()), "PNG")) {
      error = "cannot write " + path.string();
      return false;
    }
  }
  return true;
}

}  // namespace remote::ui
