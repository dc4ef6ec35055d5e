#include "remote/ui/SetupPage.h"

#include <QFont>
#include <QMenuBar>
#include <QScrollArea>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/Bytes.h"
#include "remote/link/RemoteMessages.h"
#include "remote/ui/SetupPageControls.h"

namespace remote::ui {

namespace pr = protocol::remote;

SetupPage::SetupPage(link::UnitState& state, int slot, int subAddress, QWidget* parent)
    : QWidget(parent),
      state_(state),
      slot_(slot),
      subAddress_(subAddress),
      pump_(this, [this](const platform::Message& m) { Handle(m); }),
      menuBar_(new QMenuBar(this)),
      content_(new QVBoxLayout) {
  QFont font = this->font();
  font.setFamily("Century Gothic");
  font.setPixelSize(12);
  font.setBold(true);
  setFont(font);
  setFixedSize(kWidth, kHeight);

  controls::StyleMenuBar(menuBar_);
  menuBar_->addAction("&Save", this, &SetupPage::Save);
  menuBar_->addAction("&Restore", this, &SetupPage::Restore);
  menuBar_->addAction("&Default", this, &SetupPage::Default);
  menuBar_->addAction("E&xit without Save!", this, &SetupPage::ExitWithoutSave);

  auto* inner = new QWidget;
  content_->setContentsMargins(4, 4, 4, 4);
  content_->setSpacing(3);
  inner->setLayout(content_);
  auto* scroll = new QScrollArea;
  scroll->setWidget(inner);
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->setMenuBar(menuBar_);
  layout->addWidget(scroll);

  request_.setInterval(kRequestMs);
  write_.setInterval(kWriteMs);
  connect(&request_, &QTimer::timeout, this, &SetupPage::OnRequestTimer);
  connect(&write_, &QTimer::timeout, this, &SetupPage::OnWriteTimer);
}

SetupPage::~SetupPage() {
  if (registered_) state_.SetPage(nullptr);
  pump_.Close();
}

void SetupPage::Open() {
  state_.SetPage(&pump_);
  registered_ = true;
  RequestBlock();
}

void SetupPage::Handle(const platform::Message& message) {
  if (closed_) return;
  if (message.id == link::kWmModuleBlock) {
    OnBlock();
  } else if (message.id == link::kWmWriteAck) {
    OnAck();
  }
}

void SetupPage::RequestBlock() {
  blockValid_ = false;
  state_.RequestModuleBlock(slot_, subAddress_);
  ShowWait(true);
  request_.start();
}

void SetupPage::OnRequestTimer() {
  if (closed_) return;
  state_.RequestModuleBlock(slot_, subAddress_);
}

void SetupPage::OnBlock() {
  const pr::ModuleBlock& block = state_.Block();
  // A late answer for another module is not this page's block.
  if ((block.header & pr::ModuleBlock::kModuleBits) !=
      pr::ModuleBlock::Header(slot_, subAddress_)) {
    return;
  }
  request_.stop();
  Block bytes{};
  platform::PutU32(bytes, pr::ModuleBlock::kOffHeader, block.header);
  std::copy_n(block.settings.begin(),
              std::min(block.settings.size(), pr::ModuleBlock::kMaxSettings),
              bytes.begin() + pr::ModuleBlock::kOffSettings);
  edited_ = bytes;
  received_ = bytes;
  if (defaultsRequested_) {
    // The next write must see a difference, so the defaults are written even unchanged.
    defaultsRequested_ = false;
    std::uint32_t word = platform::GetU32(received_, pr::ModuleBlock::kOffHeader);
    const bool zero = (word & pr::ModuleBlock::kAddressMask) == 0;
    word =
        (word & ~pr::ModuleBlock::kAddressMask) | (zero ? 1u << pr::ModuleBlock::kAddressShift : 0);
    platform::PutU32(received_, pr::ModuleBlock::kOffHeader, word);
  }
  blockValid_ = true;
  FillControls(edited_);
  ShowWait(false);
}

SetupPage::WriteResult SetupPage::Write() {
  if (retriesLeft_-- < 0) {
    write_.stop();
    ShowWait(false);
    if (!live_) ClosePage();
    return WriteResult::kGaveUp;
  }
  const std::size_t size = std::min(FillBlock(edited_), pr::ModuleBlock::kMaxSettings);
  if (edited_ == received_) {
    write_.stop();
    ShowWait(false);
    return WriteResult::kNothing;
  }
  ShowWait(true);
  const auto settings = std::span(edited_).subspan(pr::ModuleBlock::kOffSettings, size);
  // A write that could not go out (the link is down) is no attempt: the page
  // keeps the user's edits and tries again when the link is back.
  if (!state_.WriteModuleBlock(slot_, subAddress_, settings, live_)) ++retriesLeft_;
  write_.start();
  return WriteResult::kSent;
}

void SetupPage::OnWriteTimer() {
  if (closed_) return;
  Write();
}

void SetupPage::OnAck() {
  if (!write_.isActive()) return;  // nothing of ours is waiting for it
  ShowWait(false);
  write_.stop();
  if (!live_) ClosePage();
}

void SetupPage::Save() {
  if (closed_) return;
  if (!blockValid_) {
    ClosePage();
    return;
  }
  retriesLeft_ = kRetries;
  live_ = false;
  if (Write() == WriteResult::kNothing) ClosePage();
}

void SetupPage::LiveWrite() {
  if (closed_ || !blockValid_) return;
  retriesLeft_ = kRetries;
  live_ = true;
  Write();
}

void SetupPage::Restore() {
  if (closed_ || !blockValid_) return;
  state_.RestoreModule(slot_, subAddress_);
  RequestBlock();
}

void SetupPage::Default() {
  if (closed_ || !blockValid_) return;
  state_.DefaultModule(slot_, subAddress_);
  defaultsRequested_ = true;
  RequestBlock();
}

void SetupPage::ExitWithoutSave() {
  ClosePage();
}

bool SetupPage::SendLive(std::uint16_t command, std::span<const std::uint8_t> payload) {
  return !closed_ && state_.SendLiveValue(command, payload);
}

void SetupPage::ShowWait(bool wait) {
  waiting_ = wait;
  if (wait) {
    setCursor(Qt::WaitCursor);
  } else {
    unsetCursor();
  }
}

void SetupPage::ClosePage() {
  if (closed_) return;
  closed_ = true;
  request_.stop();
  write_.stop();
  ShowWait(false);
  if (registered_) state_.SetPage(nullptr);
  registered_ = false;
  emit Closed();
  close();
}

}  // namespace remote::ui
