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

enum class PageKind {
  kNone,
  kPhono,
  kQvo520,
  kInputs,
  kTwr310i,
  kNvo310,
  kJov520,
  kYor310,
  kKlf310,
  kMainUnit,
  kDisplay,
  kOutput
};

// The page of each module type.
struct PageOfType {
  std::uint8_t type;
  PageKind kind;
};
constexpr PageOfType kPages[] = {
    {pu::type::kQVI520, PageKind::kPhono},   {pu::type::kQVO520, PageKind::kQvo520},
    {pu::type::kQVO520b, PageKind::kQvo520}, {pu::type::kHEJ520, PageKind::kInputs},
    {pu::type::kSIV520, PageKind::kInputs},  {pu::type::kTWR310i, PageKind::kTwr310i},
    {pu::type::kNVO310, PageKind::kNvo310},  {pu::type::kBUZ310, PageKind::kPhono},
    {pu::type::kJOV520, PageKind::kJov520},  {pu::type::kYOR310, PageKind::kYor310},
    {pu::type::kKLF310, PageKind::kKlf310},  {pu::type::kFront26, PageKind::kDisplay},
    {kOutputPageType, PageKind::kOutput},
};

// Module types the Setup menu leaves out.
constexpr std::uint8_t kNotInMenu[] = {pu::type::kKLF310, 17};
// Where the front display sits when the module list does not say.
constexpr int kDisplaySlot = 14;

PageKind KindOf(int slot, std::uint8_t type) {
  if (slot == pu::kMainUnitAddress && type == pu::kMainUnit.code) return PageKind::kMainUnit;
  for (const PageOfType& p : kPages) {
    if (p.type == type) return p.kind;
  }
  return PageKind::kNone;
}

}  // namespace

bool HasSetupPage(int slot, std::uint8_t type) {
  return KindOf(slot, type) != PageKind::kNone;
}

std::vector<SetupPageRow> SetupPageRows(const link::UnitState& state) {
  std::vector<SetupPageRow> rows;
  int displaySlot = kDisplaySlot;
  for (const link::UnitEntry& e : state.Modules()) {
    if (e.type == pu::type::kFront26) displaySlot = e.slot;
    if (e.firstName.empty() ||
        std::find(std::begin(kNotInMenu), std::end(kNotInMenu), e.type) != std::end(kNotInMenu)) {
      continue;
    }
    if (e.slot > 15 || !HasSetupPage(e.slot, e.type)) continue;
    const bool main = KindOf(e.slot, e.type) == PageKind::kMainUnit;
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
  switch (KindOf(slot, type)) {
    case PageKind::kPhono:
      return new SetupPagePhono(state, slot, parent);
    case PageKind::kQvo520:
      return new SetupPageQvo520(state, slot, parent);
    case PageKind::kInputs:
      return new SetupPageInputs(state, slot, type, parent);
    case PageKind::kTwr310i:
      return new SetupPageTwr310i(state, slot, parent);
    case PageKind::kNvo310:
      return new SetupPageNvo310(state, slot, parent);
    case PageKind::kJov520:
      return new SetupPageJov520(state, slot, parent);
    case PageKind::kYor310:
      return new SetupPageYor310(state, slot, parent);
    case PageKind::kKlf310:
      return new SetupPageKlf310(state, slot, parent);
    case PageKind::kMainUnit:
      return new SetupPageMainUnit(state, parent);
    case PageKind::kDisplay:
      return new SetupPageDisplay(state, slot, parent);
    case PageKind::kOutput:
      return new SetupPageOutput(state, parent);
    case PageKind::kNone:
      break;
  }
  return nullptr;
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
  // The room-correction card's page is not in the menu, but it is drawn too.
  for (const link::UnitEntry& e : state.Modules()) {
    if (e.type == pu::type::kKLF310) rows.push_back({e.firstName, e.slot, 0, e.type});
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
