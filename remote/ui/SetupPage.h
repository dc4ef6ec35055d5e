#pragma once

#include <QTimer>
#include <QWidget>
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/qt/MessagePump.h"
#include "remote/link/UnitState.h"
#include "remote/ui/BlockBindings.h"

class QMenuBar;
class QVBoxLayout;

namespace remote::ui {

// A full-screen page that edits one module's settings block over the remote
// link: it asks for the block until it comes, shows it in its controls, and
// writes it back on save until the unit acknowledges. The page registers
// itself with UnitState as the open page while it is open.
class SetupPage : public QWidget {
  Q_OBJECT

 public:
  using Block = BlockBindings::Block;
  static constexpr int kRequestMs = 250;
  static constexpr int kWriteMs = 500;
  static constexpr int kRetries = 5;
  static constexpr int kWidth = 240;
  static constexpr int kHeight = 320;

  SetupPage(link::UnitState& state, int slot, int subAddress, QWidget* parent = nullptr);
  ~SetupPage() override;

  // Registers the page and asks for its block. Called once the page's
  // controls exist.
  void Open();

  // The menu bar's commands.
  void Save();
  void Restore();
  void Default();
  void ExitWithoutSave();

  // The timers' work, also for tests that drive them in their own time.
  void OnRequestTimer();
  void OnWriteTimer();

  int Slot() const { return slot_; }
  int SubAddress() const { return subAddress_; }
  bool BlockValid() const { return blockValid_; }
  bool Waiting() const { return waiting_; }
  bool IsClosed() const { return closed_; }
  bool Requesting() const { return request_.isActive(); }
  bool Writing() const { return write_.isActive(); }
  const Block& Edited() const { return edited_; }
  const Block& Received() const { return received_; }
  QMenuBar* MenuBar() const { return menuBar_; }

 signals:
  void Closed();

 protected:
  // Shows the block in the controls.
  virtual void FillControls(const Block& block) = 0;
  // Puts the controls into the block; returns the number of settings bytes
  // the write sends after the 4-byte header.
  virtual std::size_t FillBlock(Block& block) = 0;

  // Where a page puts its controls (scrolls when they do not fit).
  QVBoxLayout* Content() const { return content_; }
  link::UnitState& State() const { return state_; }
  // A write that keeps the page open (a combo the unit applies at once).
  void LiveWrite();
  bool SendLive(std::uint16_t command, std::span<const std::uint8_t> payload);

 private:
  enum class WriteResult { kSent, kNothing, kGaveUp };
  void Handle(const platform::Message& message);
  void RequestBlock();
  void OnBlock();
  void OnAck();
  WriteResult Write();
  void ShowWait(bool wait);
  void ClosePage();

  link::UnitState& state_;
  const int slot_;
  const int subAddress_;
  platform::qt::MessagePump pump_;
  QTimer request_;
  QTimer write_;
  QMenuBar* menuBar_;
  QVBoxLayout* content_;
  Block edited_{};
  Block received_{};
  bool blockValid_ = false;
  int retriesLeft_ = 0;
  bool live_ = false;
  bool defaultsRequested_ = false;
  bool waiting_ = false;
  bool closed_ = false;
  bool registered_ = false;
};

}  // namespace remote::ui
