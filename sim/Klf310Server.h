#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "platform/PollLoop.h"
#include "platform/UniqueFd.h"
#include "sim/SimUnit.h"

namespace sim {

// The network side of every KLF310 card of the unit: each card listens on
// ports 4000 (software update) and 4010 (curves) of the IPv4 address its
// stored settings give it. One poll loop follows the cards and accepts;
// every connection then has a thread of its own that receives a request and
// answers it at once, as the card's stack does, with no hop through the loop.
//
// Port 4000 runs the application until command 1 starts the boot software:
// the card is gone for a while (nothing listens), then the boot software
// takes erase, blocks, end and start; after start the card is gone again and
// comes back running the new application, whose version the unit's
// descriptor reports from then on. Port 4010 is served only by the
// application. A request the card does not take ends its connection, so the
// client learns of it at once.
class Klf310Server {
 public:
  struct Options {
    // How long nothing listens after command 1, and after command 5.
    std::uint32_t restartMs = 1000;
    // Every n-th reply goes out in two writes with a pause between them, as
    // a card's stack may split it (0: never), so clients must reassemble.
    unsigned splitEvery = 7;
    std::uint32_t splitPauseMs = 2;
    // A client that gets nowhere for this long is dropped.
    int idleLimitMs = 10000;
    // Where every card's module address and IPv4 address are written, one
    // "MODULE A.B.C.D" line each, whenever they change; empty: nowhere.
    std::filesystem::path addressFile;
  };

  explicit Klf310Server(SimUnit& unit) : Klf310Server(unit, Options{}) {}
  Klf310Server(SimUnit& unit, Options options);
  ~Klf310Server();
  Klf310Server(const Klf310Server&) = delete;
  Klf310Server& operator=(const Klf310Server&) = delete;

  // Starts serving. A card whose address cannot be bound (another simulator
  // has it) is reported on standard error and tried again every second; one
  // outside 127.0.0.0/8 is reported and never served.
  bool Start(std::string& error);
  void Stop();

  // Replies sent in two writes so far.
  unsigned SplitReplies() const { return splitReplies_.load(); }
  // The card at `address` runs its boot software now.
  bool InBootSoftware(std::uint8_t address);

 private:
  struct Card;
  struct Session;
  // What a request leads to.
  // kLost: taken off the wire but neither handled nor answered (a fault).
  enum class Outcome { kReply, kReplyAndEnd, kRefuse, kLost };

  void Run();
  void Tick();
  void FollowCards();
  void Listen(Card& card);
  void Unlisten(Card& card);
  void Restart(Card& card, const Session& from);
  void Accept(const std::shared_ptr<Card>& card, bool curvePort);
  void Serve(Session& session);
  Outcome Handle(Session& session, std::span<const std::uint8_t> message,
                 std::vector<std::uint8_t>& reply);
  Outcome HandleCurve(Session& session, std::span<const std::uint8_t> message,
                      std::vector<std::uint8_t>& reply);
  Outcome HandleUpdate(Session& session, std::span<const std::uint8_t> message,
                       std::vector<std::uint8_t>& reply);
  bool Reply(Session& session, std::span<const std::uint8_t> bytes);
  void ReapSessions(bool all);
  void WriteAddressFile();
  std::uint64_t Now();

  SimUnit& unit_;
  const Options options_;
  platform::PollLoop loop_;
  std::thread thread_;
  std::atomic<unsigned> splitReplies_{0};
  std::atomic<unsigned> replies_{0};

  std::mutex flagsMutex_;  // guards the boot flags tests look at
  std::map<std::uint8_t, bool> bootFlags_;

  // Guards the cards' state and the session list; taken before the unit's lock.
  std::mutex mutex_;
  std::map<std::uint8_t, std::shared_ptr<Card>> cards_;
  std::vector<std::unique_ptr<Session>> sessions_;
  std::uint64_t nextFollowAt_ = 0;  // loop thread only
  std::string addressLines_;        // as last written to the address file
};

}  // namespace sim
