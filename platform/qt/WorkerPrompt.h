#pragma once

#include <QObject>
#include <QPointer>

#include "platform/Prompt.h"

namespace platform::qt {

// Message boxes that a worker thread shows as the design's workers do: the box
// opens on the thread of `context` (the user interface) and the worker waits
// until it is dismissed. Called on that thread itself, it shows the box at once.
class WorkerPrompt final : public Prompt {
 public:
  WorkerPrompt(QObject* context, Prompt& shown) : context_(context), shown_(shown) {}
  void Error(std::string_view title, std::string_view text) override;

 private:
  QPointer<QObject> context_;
  Prompt& shown_;
};

}  // namespace platform::qt
