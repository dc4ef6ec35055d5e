#pragma once

#include <QObject>
#include <QPointer>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "platform/Prompt.h"

namespace platform::qt {

// Message boxes that a worker thread shows as the design's workers do: the box
// opens on the thread of `context` (the user interface) and the worker waits
// until it is dismissed. Called on that thread itself, it shows the box at
// once. After Close (or once `context` is gone) boxes are no longer shown and
// a waiting worker is released, so an owner can join its worker.
class WorkerPrompt final : public Prompt {
 public:
  WorkerPrompt(QObject* context, Prompt& shown) : context_(context), shown_(shown) {}
  ~WorkerPrompt() override { Close(); }
  WorkerPrompt(const WorkerPrompt&) = delete;
  WorkerPrompt& operator=(const WorkerPrompt&) = delete;

  void Error(std::string_view title, std::string_view text) override;
  void Close();

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable changed;
    bool closed = false;
  };
  QPointer<QObject> context_;
  Prompt& shown_;
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace platform::qt
