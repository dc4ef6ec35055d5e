#include "sim/RemoteStreamServer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/Bytes.h"
#include "platform/SimBluetoothWire.h"
#include "protocol/remote/FrameAssembler.h"
#include "protocol/remote/RemoteFrame.h"
#include "protocol/remote/RemoteProtocol.h"
#include "sim/BluetoothRegistration.h"

namespace sim {

namespace rl = protocol::remote;

namespace {
// How often a stream looks for changes of the unit to report.
constexpr int kWatchMs = 50;
constexpr std::size_t kChunk = 4096;
}  // namespace

struct RemoteStreamServer::Session {
  int fd = -1;
  int wake[2] = {-1, -1};
  std::string service;
  std::atomic<bool> finished{false};
  std::thread thread;
  ~Session() {
    if (thread.joinable()) thread.join();
    for (int f : wake) {
      if (f >= 0) close(f);
    }
    if (fd >= 0) close(fd);
  }
};

RemoteStreamServer::RemoteStreamServer(SimUnit& unit) : unit_(unit) {}

RemoteStreamServer::~RemoteStreamServer() { Stop(); }

void RemoteStreamServer::Serve(int fd, const std::string& service) {
  std::lock_guard lock(mutex_);
  sessions_.remove_if([](const std::unique_ptr<Session>& s) { return s->finished.load(); });
  if (stopping_) {
    close(fd);
    return;
  }
  auto session = std::make_unique<Session>();
  session->fd = fd;
  session->service = service;
  if (pipe2(session->wake, O_CLOEXEC | O_NONBLOCK) != 0) return;  // the Session closes fd
  Session& s = *session;
  s.thread = std::thread([this, &s] {
    if (s.service == rl::kServiceConfig) {
      RunConfig(s);
    } else {
      RunStream(s);
    }
    shutdown(s.fd, SHUT_RDWR);
    s.finished = true;
  });
  sessions_.push_back(std::move(session));
}

void RemoteStreamServer::Stop() {
  std::list<std::unique_ptr<Session>> sessions;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    sessions.swap(sessions_);
  }
  for (auto& s : sessions) {
    const char byte = 0;
    [[maybe_unused]] const auto n = write(s->wake[1], &byte, 1);
  }
  sessions.clear();  // joins each
}

void RemoteStreamServer::RunStream(Session& session) {
  auto send = [&](std::uint16_t record, std::span<const std::uint8_t> payload) {
    rl::RemoteFrame frame;
    frame.command = record;
    frame.payload.assign(payload.begin(), payload.end());
    const auto bytes = frame.Encode();
    return platform::simbt::WriteAll(
        session.fd, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  };
  auto lastStatus = unit_.RemoteStatus();
  auto lastDisc = unit_.RemoteDisc();
  bool ok = true;

  auto handle = [&](std::span<const std::uint8_t> bytes) {
    rl::RemoteFrame frame;
    if (!rl::RemoteFrame::Decode(bytes, frame)) return;
    switch (frame.command) {
      case rl::kReqInfo:
        ok = send(rl::kRecInfo, unit_.RemoteInfo());
        break;
      case rl::kReqStatus:
        lastStatus = unit_.RemoteStatus();
        ok = send(rl::kRecStatus, lastStatus);
        break;
      case rl::kReqListing:
        for (const auto& entry : unit_.RemoteListing()) ok = ok && send(rl::kRecListEntry, entry);
        break;
      case rl::kReqClock:
        ok = send(rl::kRecClock, unit_.RemoteClock());
        break;
      case rl::kReqBlock: {
        std::vector<std::uint8_t> block;
        if (frame.payload.size() >= 2 &&
            unit_.RemoteModuleBlock(platform::GetU16(frame.payload, 0), block)) {
          ok = send(rl::kRecModuleBlock, block);
        }
        break;
      }
      default:
        if ((frame.command & rl::kRequestBit) != 0) break;  // a record the unit does not keep
        if (unit_.ApplyRemoteCommand(frame.command, frame.payload) &&
            frame.command == rl::kCmdWriteBlock) {
          ok = send(rl::kRecWriteAck, {});
        }
        break;
    }
  };

  rl::FrameAssembler assembler;
  std::vector<std::uint8_t> chunk(kChunk);
  while (ok && !stopping_) {
    pollfd fds[2] = {{session.fd, POLLIN, 0}, {session.wake[0], POLLIN, 0}};
    const int n = poll(fds, 2, kWatchMs);
    if (n < 0 && errno != EINTR) break;
    if (fds[1].revents != 0) break;
    if (n > 0 && fds[0].revents != 0) {
      const ssize_t got = recv(session.fd, chunk.data(), chunk.size(), 0);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      assembler.Feed(std::span(chunk).first(static_cast<std::size_t>(got)),
                     unit_.Clock().TickCount(), handle);
    }
    // The unit reports its own changes, whoever made them.
    const auto status = unit_.RemoteStatus();
    if (ok && status != lastStatus) {
      lastStatus = status;
      ok = send(rl::kRecStatus, status);
    }
    const auto disc = unit_.RemoteDisc();
    if (ok && disc != lastDisc) {
      lastDisc = disc;
      ok = send(rl::kRecDiscStatus, disc);
    }
  }
}

std::string RemoteStreamServer::AnswerAt(const std::string& line) {
  auto ok = [](const std::string& answer) { return answer + "\r\nOK\r\n"; };
  if (line == "ATI1") return ok("MRX-BT serial module 2.1");
  if (line == "AT+RBDA") {
    const auto a = module_ != nullptr ? module_->Address() : platform::BtAddress{};
    char text[16];
    std::snprintf(text, sizeof text, "%04X%08X", a.high & 0xFFFF, a.low);
    return ok(text);
  }
  if (line.starts_with("AT+CLBN=")) {
    const std::string name = line.substr(8);
    if (name.empty() || name.size() > 31) return "ERROR\r\n";
    if (module_ != nullptr) module_->SetName(name);
    return "OK\r\n";
  }
  if (line == "AT+RLBN") return ok(module_ != nullptr ? module_->Name() : "");
  for (auto [prefix, value] : {std::pair{"AT+ULPW=", &ulpw_}, std::pair{"AT+UBTS=", &ubts_}}) {
    const std::string p = prefix;
    if (line.starts_with(p) && line.size() == p.size() + 1 && (line.back() == '0' || line.back() == '1')) {
      *value = line.back() - '0';
      return "OK\r\n";
    }
  }
  return "ERROR\r\n";
}

void RemoteStreamServer::RunConfig(Session& session) {
  std::string line;
  char chunk[512];
  while (!stopping_) {
    pollfd fds[2] = {{session.fd, POLLIN, 0}, {session.wake[0], POLLIN, 0}};
    if (poll(fds, 2, -1) < 0 && errno != EINTR) break;
    if (fds[1].revents != 0) break;
    const ssize_t got = recv(session.fd, chunk, sizeof chunk, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    for (ssize_t i = 0; i < got; ++i) {
      const char c = chunk[i];
      if (c == '\r' || c == '\n') {
        if (!line.empty() && !platform::simbt::WriteAll(session.fd, AnswerAt(line))) return;
        line.clear();
      } else if (line.size() < platform::simbt::kMaxLine) {
        line += c;
      }
    }
  }
}

}  // namespace sim
