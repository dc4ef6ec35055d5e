#include "desktop/shell/CmyMRXProperty.h"

#include <QBuffer>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPixmap>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <cstdio>

#include "desktop/pages/CPropertyMRX520.h"
#include "desktop/pages/CPropertyValdur.h"
#include "desktop/pages/Logo.h"
#include "desktop/shell/UnitBackupActions.h"
#include "desktop/unitlink/CTiroUSB.h"
#include "desktop/unitlink/UnitProtocol.h"
#include "platform/AtomicFile.h"
#include "platform/qt/DeviceWatcher.h"
#include "protocol/unit/Frame.h"
#include "protocol/unit/ModuleCatalogue.h"

namespace desktop::shell {

namespace {

namespace ul = desktop::unitlink;
namespace pu = protocol::unit;

// "01-MRX520" from a tab's index and caption; anything but letters and
// digits becomes '-', so a caption never leaves the directory.
std::string PictureName(int index, const QString& caption) {
  std::string name = caption.toStdString();
  for (char& c : name) {
    const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    if (!keep) c = '-';
  }
  char prefix[16];
  std::snprintf(prefix, sizeof prefix, "%02d-", index);
  return prefix + name + ".png";
}

}  // namespace

CmyMRXProperty::CmyMRXProperty(bool serviceMode, pages::Prompt& prompt, platform::Clock& clock,
                               std::span<const pages::PageClass> cardPages)
    : serviceMode_(serviceMode),
      prompt_(prompt),
      pagePrompt_(prompt, *this),
      clock_(clock),
      cardPageClasses_(cardPages) {
  setWindowTitle(QString::fromLatin1(kCaption));
  setWindowIcon(pages::ValdurIcon());
  tabs_ = new QTabWidget(this);
  // One scrolling row of tabs, however many cards the unit holds.
  tabs_->setUsesScrollButtons(true);
  tabs_->setElideMode(Qt::ElideNone);
  auto* layout = new QVBoxLayout(this);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  layout->addWidget(tabs_);

  about_ = new pages::CPropertyValdur();
  tabs_->addTab(about_, about_->Caption());
  main_ = new pages::CPropertyMRX520(*this);
  tabs_->addTab(main_, main_->Caption());
  current_ = about_;

  // The unit's settings as a whole: kept in a file, written back, compared.
  backups_ = std::make_unique<UnitBackupActions>(this, *this, [this] { OnDeviceChange(); });
  backupButton_ = new QToolButton(tabs_);
  backupButton_->setText(QStringLiteral("Backup"));
  backupButton_->setToolTip(QStringLiteral("Back up, restore or compare the unit's settings"));
  backupButton_->setPopupMode(QToolButton::InstantPopup);
  backupButton_->setAutoRaise(true);
  auto* menu = new QMenu(backupButton_);
  menu->addAction(QString::fromLatin1(UnitBackupActions::kBackUpCaption), this,
                  [this] { backups_->BackUp(); });
  menu->addAction(QString::fromLatin1(UnitBackupActions::kRestoreCaption), this,
                  [this] { backups_->Restore(); });
  menu->addAction(QString::fromLatin1(UnitBackupActions::kCompareCaption), this,
                  [this] { backups_->Compare(); });
  backupButton_->setMenu(menu);
  tabs_->setCornerWidget(backupButton_, Qt::TopRightCorner);
  connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) { OnTabChanged(index); });
}

CmyMRXProperty::~CmyMRXProperty() {
  watcher_.reset();
  switching_ = true;
  RemoveAllCardPages();
}

void CmyMRXProperty::WatchDevices(const std::filesystem::path& directory) {
  watcher_ = std::make_unique<platform::qt::DeviceWatcher>([this] { OnDeviceChange(); }, directory);
}

void CmyMRXProperty::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!initialised_) OnInitDialog();
}

void CmyMRXProperty::OnInitDialog() {
  initialised_ = true;
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }
  Discover();
  if (current_ != nullptr) current_->Activate();
}

void CmyMRXProperty::OnDeviceChange() {
  // Discovery deletes the card pages: a page whose handler is waiting in a box
  // or dialog (or a discovery under way) finishes first.
  if (modal_ > 0 || discovering_) {
    discoveryPending_ = true;
    return;
  }
  Discover();
}

void CmyMRXProperty::EnterModal() {
  ++modal_;
}

void CmyMRXProperty::LeaveModal() {
  --modal_;
  // Run the waiting discovery from the event loop, once the handler that
  // opened the box has returned.
  if (modal_ == 0 && discoveryPending_) QTimer::singleShot(0, this, [this] { OnDeviceChange(); });
}

bool CmyMRXProperty::BeforeUpdate(bool curves) {
  return backups_->BeforeUpdate(curves);
}

void CmyMRXProperty::AfterUpdate(bool succeeded) {
  // Compared once the page's handler has returned: the unit restarts, and
  // the tabs are rebuilt meanwhile.
  QTimer::singleShot(0, this, [this, succeeded] { backups_->AfterUpdate(succeeded); });
}

void CmyMRXProperty::Discover() {
  discovering_ = true;
  discoveryPending_ = false;
  ++discoveries_;
  char name[64];
  std::snprintf(name, sizeof name, pu::kDevicePathFormat, pu::kDeviceName);
  ul::theTiroUSB.SetDeviceName(name);
  RemoveAllCardPages();

  ul::ModuleInfo unit;
  if (!ul::ReadModuleDescriptor(ul::theTiroUSB, pu::kMainUnitAddress, unit)) {
    ++discoveriesWithoutUnit_;
    main_->SetPresent(false);
    main_->EnableControls(false);
  } else {
    main_->SetModule(unit.address, unit.subAddress, unit.descriptor.data());
    main_->EnableControls(true);
    main_->ReadSettings(0, true);
    const unsigned slotCount = unit.Fields().slotCount;
    for (unsigned i = 1; i <= slotCount; ++i) {
      ul::ModuleInfo card;
      if (!ul::ReadModuleDescriptor(ul::theTiroUSB, static_cast<std::uint8_t>(i), card)) break;
      pages::CMRXPropertyPage* page =
          pages::CreateCardPage(cardPageClasses_, card.Fields().type, *this);
      if (page != nullptr) AddCardPage(page, card.address, card.subAddress, card.descriptor.data());
    }
  }
  discovering_ = false;
  if (discoveryPending_) QTimer::singleShot(0, this, [this] { OnDeviceChange(); });
}

void CmyMRXProperty::AddCardPage(pages::CMRXPropertyPage* page, std::uint8_t address,
                                 std::uint8_t subAddress, const std::uint8_t* descriptor) {
  {
    std::lock_guard lock(listLock_);
    cards_.push_back(page);
  }
  switching_ = true;
  tabs_->addTab(page, page->Caption());
  switching_ = false;
  page->SetModule(address, subAddress, descriptor);
}

void CmyMRXProperty::RemoveAllCardPages() {
  const bool wasSwitching = switching_;
  switching_ = true;
  bool currentRemoved = false;
  {
    std::lock_guard lock(listLock_);
    while (!cards_.empty()) {
      pages::CMRXPropertyPage* page = cards_.front();
      cards_.erase(cards_.begin());
      currentRemoved = currentRemoved || page == current_;
      tabs_->removeTab(tabs_->indexOf(page));
      delete page;
    }
  }
  switching_ = wasSwitching;
  // A removed current card hands over to the tab the sheet shows now.
  if (currentRemoved && !switching_) {
    current_ = dynamic_cast<pages::CPropertyPage*>(tabs_->currentWidget());
    if (current_ != nullptr && isVisible()) current_->Activate();
  }
}

std::vector<pages::CMRXPropertyPage*> CmyMRXProperty::CardPages() {
  std::lock_guard lock(listLock_);
  return cards_;
}

pages::CMRXPropertyPage* CmyMRXProperty::FindCardPage(std::string_view runtimeClass) {
  std::lock_guard lock(listLock_);
  for (pages::CMRXPropertyPage* page : cards_) {
    if (runtimeClass == page->GetRuntimeClassName()) return page;
  }
  return nullptr;
}

bool CmyMRXProperty::LeaveCurrentPage() {
  if (current_ == nullptr) return true;
  const pages::ModalScope scope(*this);
  return current_->OnKillActive();
}

void CmyMRXProperty::OnTabChanged(int index) {
  if (switching_) return;
  auto* next = dynamic_cast<pages::CPropertyPage*>(tabs_->widget(index));
  if (next == current_) return;
  if (!LeaveCurrentPage()) {
    // The page refused to be left: show it again.
    switching_ = true;
    tabs_->setCurrentWidget(current_);
    switching_ = false;
    return;
  }
  current_ = next;
  if (next != nullptr) next->Activate();
}

void CmyMRXProperty::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
      event->accept();  // the sheet ends only when its window is closed
      return;
    default:
      QDialog::keyPressEvent(event);
  }
}

void CmyMRXProperty::reject() {}

void CmyMRXProperty::closeEvent(QCloseEvent* event) {
  // Ending the program in the middle of a flash would leave the unit without
  // software: the window stays until the update has finished.
  if (main_->UpdateRunning()) {
    prompt_.Ask(kTextUpdateRunning, pages::Prompt::Buttons::kOk, pages::Prompt::Icon::kInformation);
    event->ignore();
    return;
  }
  if (!LeaveCurrentPage()) {
    event->ignore();
    return;
  }
  event->accept();
  done(0);
}

bool CmyMRXProperty::RenderTabs(const std::filesystem::path& directory, std::string& error) {
  for (int i = 0; i < tabs_->count(); ++i) {
    tabs_->setCurrentIndex(i);
    if (tabs_->currentIndex() != i) {
      error = "tab " + std::to_string(i) + " could not be shown";
      return false;
    }
    QCoreApplication::processEvents();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!grab().save(&buffer, "PNG")) {
      error = "cannot encode the picture of tab " + std::to_string(i);
      return false;
    }
    const auto path = directory / PictureName(i, tabs_->tabText(i));
    if (!platform::WriteFileAtomically(path, std::string_view(png.constData(), png.size()),
                                       error)) {
      return false;
    }
    auto* page = dynamic_cast<pages::CPropertyPage*>(tabs_->widget(i));
    for (QWidget* dialog : page != nullptr ? page->PictureDialogs() : std::vector<QWidget*>{}) {
      QCoreApplication::processEvents();
      QByteArray dialogPng;
      QBuffer dialogBuffer(&dialogPng);
      dialogBuffer.open(QIODevice::WriteOnly);
      if (!dialog->grab().save(&dialogBuffer, "PNG")) {
        error = "cannot encode the picture of a dialog of tab " + std::to_string(i);
        return false;
      }
      const auto dialogPath =
          directory / PictureName(i, tabs_->tabText(i) + QLatin1Char('-') + dialog->windowTitle());
      if (!platform::WriteFileAtomically(
              dialogPath, std::string_view(dialogPng.constData(), dialogPng.size()), error)) {
        return false;
      }
    }
  }
  return true;
}

}  // namespace desktop::shell
