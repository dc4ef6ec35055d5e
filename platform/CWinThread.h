#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/CObject.h"

namespace platform {

// A worker thread as the design's workers expect one: created suspended,
// started once with Resume, running InitInstance and then Run. The object owns
// its std::thread and joins it explicitly (Join, or the destructor), so no
// thread outlives its worker and nothing is left running at exit. A derived
// class must call Join in its own destructor: the thread uses its members.
class CWinThread : public CObject {
 public:
  CWinThread() = default;
  ~CWinThread() override { Join(); }
  CWinThread(const CWinThread&) = delete;
  CWinThread& operator=(const CWinThread&) = delete;

  const char* GetRuntimeClassName() const override { return "CWinThread"; }

  // Starts the thread; later calls do nothing.
  void Resume() {
    std::lock_guard guard(lock_);
    if (started_) return;
    started_ = true;
    thread_ = std::thread([this] {
      if (InitInstance()) exitCode_ = Run();
      ended_ = true;
    });
  }
  // Waits for the thread to end; at once when it never started or has been joined.
  void Join() {
    std::lock_guard guard(lock_);
    if (thread_.joinable()) thread_.join();
  }
  // True once the thread has run to its end (any thread may ask).
  bool Ended() const { return ended_; }
  // The value Run returned; valid after Join.
  int ExitCode() const { return exitCode_; }

 protected:
  virtual bool InitInstance() { return true; }
  virtual int Run() { return 0; }

 private:
  std::mutex lock_;
  std::thread thread_;
  bool started_ = false;
  int exitCode_ = -1;
  std::atomic<bool> ended_{false};
};

// A worker whose whole work is one function (a backup, a restore): it lives
// like every other worker, created suspended and joined by its owner.
class CFunctionThread final : public CWinThread {
 public:
  explicit CFunctionThread(std::function<void()> work) : work_(std::move(work)) {}
  ~CFunctionThread() override { Join(); }

  const char* GetRuntimeClassName() const override { return "CFunctionThread"; }

 protected:
  int Run() override {
    work_();
    return 0;
  }

 private:
  std::function<void()> work_;
};

}  // namespace platform
