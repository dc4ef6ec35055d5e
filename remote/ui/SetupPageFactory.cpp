#include "remote/ui/SetupPageFactory.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QPixmap>
#include <QRegularExpression>
#include <QWidget>
#include <algorithm>
#include <memory>

#include "protocol/remote/MainUnitBlock.h"
#include "protocol/unit/ModuleCatalogue.h"
#include "remote/ui/SetupPageDisplay.h"
#include "remote/ui/SetupPageInputs.h"
#include "remote/ui/SetupPageJov520.h"
#include "remote/ui/SetupPageKlf310.h"
#include "remote/ui/SetupPageMainUnit.h"
#include "remote/ui/SetupPageNvo310.h"
#include "remote/ui/SetupPageOutput.h"
#include "remote/ui/SetupPagePhono.h"
#include "remote/ui/SetupPageQvo520.h"
#include "remote/ui/SetupPageTwr310i.h"
#include "remote/ui/SetupPageYor310.h"

namespace remote::ui {

namespace {

namespace pu = protocol::unit;

template <typename Page>
QWidget* Create(link::UnitState& state, int slot, std::uint8_t /*type*/, QWidget* parent) {
  return new Page(state, slot, parent);
}

QWidget* CreateInputs(link::UnitState& state, int slot, std::uint8_t type, QWidget* parent) {
  return new SetupPageInputs(state, slot, type, parent);
}

constexpr SetupPageClass kCardPages[] = {
    {pu::type::kQVI520, &Create<SetupPagePhono>},
    {pu::type::kQVO520, &Create<SetupPageQvo520>},
    {pu::type::kQVO520b, &Create<SetupPageQvo520>},
    {pu::type::kHEJ520, &CreateInputs},
    {pu::type::kSIV520, &CreateInputs},
    {pu::type::kTWR310i, &Create<SetupPageTwr310i>},
    {pu::type::kNVO310, &Create<SetupPageNvo310>},
    {pu::type::kBUZ310, &Create<SetupPagePhono>},
    {pu::type::kJOV520, &Create<SetupPageJov520>},
    {pu::type::kYOR310, &Create<SetupPageYor310>},
    {pu::type::kKLF310, &Create<SetupPageKlf310>, false},
    {pu::type::kFront26, &Create<SetupPageDisplay>},
};

// Where the front display sits when the module list does not say.
constexpr int kDisplaySlot = 14;

bool IsMainUnit(int slot, std::uint8_t type) {
  return slot == pu::kMainUnitAddress && type == pu::kMainUnit.code;
}

const SetupPageClass* FindCardPage(std::uint8_t type) {
  for (const SetupPageClass& row : kCardPages) {
    if (row.typeCode == type && row.create != nullptr) return &row;
  }
  return nullptr;
}

}  // namespace

std::span<const SetupPageClass> CardSetupPages() {
  return kCardPages;
}

bool HasSetupPage(int slot, std::uint8_t type) {
  return IsMainUnit(slot, type) || type == kOutputPageType || FindCardPage(type) != nullptr;
}

std::vector<SetupPageRow> SetupPageRows(const link::UnitState& state) {
  std::vector<SetupPageRow> rows;
  int displaySlot = kDisplaySlot;
  for (const link::UnitEntry& e : state.Modules()) {
    if (e.type == pu::type::kFront26) displaySlot = e.slot;
    if (e.firstName.empty() || e.slot > 15) continue;
    if (!HasSetupPage(e.slot, e.type)) continue;
    const bool main = IsMainUnit(e.slot, e.type);
    const SetupPageClass* card = main ? nullptr : FindCardPage(e.type);
    if (card != nullptr && !card->inMenu) continue;
    rows.push_back(
        {e.firstName, e.slot, main ? protocol::remote::MainUnitBlock::kSubAddress : 0, e.type});
  }
  rows.push_back({std::string(pu::kMainUnit.model), pu::kMainUnitAddress,
                  protocol::remote::MainUnitBlock::kSubAddress, pu::kMainUnit.code});
  rows.push_back({"Output", pu::kMainUnitAddress, 0, kOutputPageType});
  rows.push_back({"Display", displaySlot, 0, pu::type::kFront26});
  return rows;
}

QWidget* CreateSetupPage(link::UnitState& state, int slot, int /*subAddress*/, std::uint8_t type,
                         QWidget* parent) {
  // Slots beyond the unit's sixteen addresses have no module to edit.
  if (slot < 0 || slot > 15) return nullptr;
  if (IsMainUnit(slot, type)) return new SetupPageMainUnit(state, parent);
  if (type == kOutputPageType) return new SetupPageOutput(state, parent);
  const SetupPageClass* card = FindCardPage(type);
  return card != nullptr ? card->create(state, slot, type, parent) : nullptr;
}

void OpenSetupPage(QWidget* parent, link::UnitState& state, int slot, int subAddress,
                   std::uint8_t type) {
  QWidget* page = CreateSetupPage(state, slot, subAddress, type, parent);
  if (page == nullptr) return;
  page->setWindowFlag(Qt::Window);
  page->setAttribute(Qt::WA_DeleteOnClose);
  if (parent != nullptr) page->move(parent->mapToGlobal(QPoint(0, 0)));
  page->show();
  if (auto* framework = qobject_cast<SetupPage*>(page)) framework->Open();
}

std::vector<QString> DrawSetupPages(link::UnitState& state, const QString& dir, int waitMs) {
  std::vector<QString> written;
  QDir().mkpath(dir);
  int n = 0;
  std::vector<SetupPageRow> rows = SetupPageRows(state);
  // Pages left out of the menu (the room-correction card's) are drawn too.
  for (const link::UnitEntry& e : state.Modules()) {
    const SetupPageClass* card = FindCardPage(e.type);
    if (card != nullptr && !card->inMenu) rows.push_back({e.firstName, e.slot, 0, e.type});
  }
  for (const SetupPageRow& row : rows) {
    std::unique_ptr<QWidget> page(CreateSetupPage(state, row.slot, row.subAddress, row.type));
    if (!page) continue;
    page->show();
    if (auto* framework = qobject_cast<SetupPage*>(page.get())) {
      framework->Open();
      const QDeadlineTimer deadline(waitMs);
      while (!framework->BlockValid() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      }
    }
    QCoreApplication::processEvents();
    QString name = QString::fromStdString(row.menuText).toLower();
    name.replace(QRegularExpression("[^a-z0-9]+"), "-");
    const QString path =
        QDir(dir).filePath(QString("setup-%1-%2.png").arg(++n, 2, 10, QChar('0')).arg(name));
    if (page->grab().save(path)) written.push_back(path);
    if (auto* framework = qobject_cast<SetupPage*>(page.get())) framework->ExitWithoutSave();
  }
  return written;
}

}  // namespace remote::ui
