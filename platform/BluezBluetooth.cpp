#include "platform/BluezBluetooth.h"

#include <bluetooth/bluetooth.h>
#include <bluetooth/hci.h>
#include <bluetooth/hci_lib.h>
#include <bluetooth/rfcomm.h>
#include <bluetooth/sdp.h>
#include <bluetooth/sdp_lib.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

namespace platform {

namespace {

constexpr const char* kNoAdapter = "no Bluetooth adapter";
constexpr int kInquiryUnits = 8;  // x 1.28 s
// The controller ends the inquiry itself; this bounds a controller that does not.
constexpr int kInquiryLimitMs = kInquiryUnits * 1280 + 3000;
constexpr int kNameTimeoutMs = 5000;
constexpr int kConnectTimeoutMs = 20000;
// The general inquiry access code.
constexpr std::uint8_t kGiac[3] = {0x33, 0x8B, 0x9E};

bdaddr_t ToBdaddr(const BtAddress& a) {
  bdaddr_t b{};
  for (int i = 0; i < 4; ++i) b.b[i] = static_cast<std::uint8_t>(a.low >> (8 * i));
  b.b[4] = static_cast<std::uint8_t>(a.high);
  b.b[5] = static_cast<std::uint8_t>(a.high >> 8);
  return b;
}

BtAddress FromBdaddr(const bdaddr_t& b) {
  BtAddress a;
  for (int i = 0; i < 4; ++i) a.low |= static_cast<std::uint32_t>(b.b[i]) << (8 * i);
  a.high = static_cast<std::uint32_t>(b.b[4] | (b.b[5] << 8));
  return a;
}

// Waits until `fd` is ready for `events`, or `cancelFd` is readable; 1 ready,
// 0 timed out or cancelled, -1 failed.
int WaitReady(int fd, short events, int cancelFd, int timeoutMs) {
  for (;;) {
    pollfd fds[2] = {{fd, events, 0}, {cancelFd, POLLIN, 0}};
    const int n = poll(fds, cancelFd >= 0 ? 2 : 1, timeoutMs);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n;
    if (cancelFd >= 0 && fds[1].revents != 0) return 0;
    return 1;
  }
}

// The adapter to use: the first one switched on, else the first one there
// is (switched off); -1 when the host has none.
int FindAdapter(bool* up = nullptr) {
  const int ctl = socket(AF_BLUETOOTH, SOCK_RAW | SOCK_CLOEXEC, BTPROTO_HCI);
  if (ctl < 0) return -1;
  std::vector<std::uint8_t> buffer(sizeof(hci_dev_list_req) + HCI_MAX_DEV * sizeof(hci_dev_req));
  auto* list = reinterpret_cast<hci_dev_list_req*>(buffer.data());
  list->dev_num = HCI_MAX_DEV;
  int found = -1;
  bool foundUp = false;
  if (ioctl(ctl, HCIGETDEVLIST, list) == 0) {
    for (int i = 0; i < list->dev_num && !foundUp; ++i) {
      hci_dev_req dev = list->dev_req[i];
      const bool devUp = hci_test_bit(HCI_UP, &dev.dev_opt) != 0;
      if (found < 0 || devUp) {
        found = dev.dev_id;
        foundUp = devUp;
      }
    }
  }
  close(ctl);
  if (up != nullptr) *up = foundUp;
  return found;
}

// Switches an adapter that is off on for one inquiry, and off again after.
class PoweredForInquiry {
 public:
  explicit PoweredForInquiry(int dev) : dev_(dev) {}
  ~PoweredForInquiry() {
    if (switchedOn_) Control(HCIDEVDOWN);
  }
  PoweredForInquiry(const PoweredForInquiry&) = delete;
  PoweredForInquiry& operator=(const PoweredForInquiry&) = delete;

  // False with errno when it cannot be switched on.
  bool Up(bool alreadyUp) {
    if (alreadyUp) return true;
    if (!Control(HCIDEVUP) && errno != EALREADY) return false;
    switchedOn_ = true;
    return true;
  }

 private:
  bool Control(unsigned long request) {
    const int ctl = socket(AF_BLUETOOTH, SOCK_RAW | SOCK_CLOEXEC, BTPROTO_HCI);
    if (ctl < 0) return false;
    const bool ok = ioctl(ctl, request, dev_) == 0;
    const int saved = errno;
    close(ctl);
    errno = saved;
    return ok;
  }

  int dev_;
  bool switchedOn_ = false;
};

bool Cancelled(int cancelFd) {
  pollfd p{cancelFd, POLLIN, 0};
  return cancelFd >= 0 && poll(&p, 1, 0) > 0;
}

// One HCI event read from `dd`, waiting at most `timeoutMs` and giving up when
// `cancelFd` becomes readable: 1 an event (code and parameters; code 0 for a
// packet that is none), 0 timed out or cancelled, -1 failed.
int ReadEvent(int dd, int cancelFd, int timeoutMs, std::uint8_t& code,
              std::vector<std::uint8_t>& params) {
  const int ready = WaitReady(dd, POLLIN, cancelFd, timeoutMs);
  if (ready != 1) return ready;
  std::uint8_t buffer[HCI_MAX_EVENT_SIZE];
  ssize_t n;
  do {
    n = read(dd, buffer, sizeof buffer);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return -1;
  code = 0;  // not an event: the caller waits on
  params.clear();
  if (n < 1 + HCI_EVENT_HDR_SIZE || buffer[0] != HCI_EVENT_PKT) return 1;
  const auto* header = reinterpret_cast<const hci_event_hdr*>(buffer + 1);
  code = header->evt;
  const std::size_t length =
      std::min<std::size_t>(header->plen, static_cast<std::size_t>(n) - 1 - HCI_EVENT_HDR_SIZE);
  params.assign(buffer + 1 + HCI_EVENT_HDR_SIZE, buffer + 1 + HCI_EVENT_HDR_SIZE + length);
  return 1;
}

// The addresses an inquiry finds, each once, in the order they answered.
bool RunInquiry(int dd, int cancelFd, std::vector<bdaddr_t>& found, BtError& error) {
  inquiry_cp request{};
  std::memcpy(request.lap, kGiac, sizeof kGiac);
  request.length = kInquiryUnits;
  request.num_rsp = 0;  // as many as answer
  if (hci_send_cmd(dd, OGF_LINK_CTL, OCF_INQUIRY, INQUIRY_CP_SIZE, &request) < 0) {
    error = {errno, std::string("inquiry failed: ") + std::strerror(errno)};
    return false;
  }
  auto add = [&](const std::uint8_t* address) {
    bdaddr_t b;
    std::memcpy(&b, address, sizeof b);
    for (const auto& f : found) {
      if (bacmp(&f, &b) == 0) return;
    }
    found.push_back(b);
  };
  const std::uint16_t inquiryOpcode = htobs(cmd_opcode_pack(OGF_LINK_CTL, OCF_INQUIRY));
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kInquiryLimitMs);
  std::vector<std::uint8_t> params;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    std::uint8_t code = 0;
    const int got = left.count() > 0
                        ? ReadEvent(dd, cancelFd, static_cast<int>(left.count()), code, params)
                        : 0;
    if (got <= 0) {
      // Cancelled, or the controller never said it was done: stop it.
      hci_send_cmd(dd, OGF_LINK_CTL, OCF_INQUIRY_CANCEL, 0, nullptr);
      if (got < 0) error = {errno, std::string("inquiry failed: ") + std::strerror(errno)};
      return got == 0;
    }
    if (code == EVT_INQUIRY_COMPLETE) return true;
    if (code == EVT_CMD_STATUS && params.size() >= EVT_CMD_STATUS_SIZE) {
      const auto* status = reinterpret_cast<const evt_cmd_status*>(params.data());
      if (status->opcode == inquiryOpcode && status->status != 0) {
        const int number = bt_error(status->status);
        error = {number, std::string("inquiry failed: ") + std::strerror(number)};
        return false;
      }
      continue;
    }
    std::size_t size = 0;
    if (code == EVT_INQUIRY_RESULT) size = INQUIRY_INFO_SIZE;
    if (code == EVT_INQUIRY_RESULT_WITH_RSSI) size = INQUIRY_INFO_WITH_RSSI_SIZE;
    if (code == EVT_EXTENDED_INQUIRY_RESULT) size = EXTENDED_INQUIRY_INFO_SIZE;
    if (size == 0 || params.empty()) continue;
    // Each response starts with the device's address.
    for (std::size_t k = 0; k < params[0] && 1 + (k + 1) * size <= params.size(); ++k) {
      add(params.data() + 1 + k * size);
    }
  }
}

// The device's name, empty when it gives none in time or the wait is cancelled.
std::string RemoteName(int dd, const bdaddr_t& address, int cancelFd) {
  remote_name_req_cp request{};
  request.bdaddr = address;
  request.pscan_rep_mode = 0x02;
  if (hci_send_cmd(dd, OGF_LINK_CTL, OCF_REMOTE_NAME_REQ, REMOTE_NAME_REQ_CP_SIZE, &request) < 0)
    return {};
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kNameTimeoutMs);
  std::vector<std::uint8_t> params;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    std::uint8_t code = 0;
    if (left.count() <= 0 ||
        ReadEvent(dd, cancelFd, static_cast<int>(left.count()), code, params) != 1) {
      remote_name_req_cancel_cp cancel{};
      cancel.bdaddr = address;
      hci_send_cmd(dd, OGF_LINK_CTL, OCF_REMOTE_NAME_REQ_CANCEL, REMOTE_NAME_REQ_CANCEL_CP_SIZE,
                   &cancel);
      return {};
    }
    if (code == EVT_CMD_STATUS && params.size() >= EVT_CMD_STATUS_SIZE) {
      const auto* status = reinterpret_cast<const evt_cmd_status*>(params.data());
      if (status->opcode == htobs(cmd_opcode_pack(OGF_LINK_CTL, OCF_REMOTE_NAME_REQ)) &&
          status->status != 0) {
        return {};  // the controller refused the request
      }
      continue;
    }
    if (code != EVT_REMOTE_NAME_REQ_COMPLETE || params.size() < 1 + sizeof(bdaddr_t)) continue;
    const auto* reply = reinterpret_cast<const evt_remote_name_req_complete*>(params.data());
    if (bacmp(&reply->bdaddr, &address) != 0) continue;
    if (reply->status != 0) return {};
    const std::size_t room = params.size() - 1 - sizeof(bdaddr_t);
    const char* name = reinterpret_cast<const char*>(params.data() + 1 + sizeof(bdaddr_t));
    return std::string(name, strnlen(name, std::min<std::size_t>(room, HCI_MAX_NAME_LENGTH)));
  }
}

// The RFCOMM channel of the device's Serial Port service, 0 when none.
int SerialPortChannel(const bdaddr_t& target, int cancelFd, std::string& error) {
  bdaddr_t any{};
  sdp_session_t* session = sdp_connect(&any, &target, SDP_NON_BLOCKING);
  if (session == nullptr) {
    error = std::string("service look-up failed: ") + std::strerror(errno);
    return 0;
  }
  const int sock = sdp_get_socket(session);
  if (WaitReady(sock, POLLOUT, cancelFd, kConnectTimeoutMs) != 1) {
    error = "service look-up timed out or was cancelled";
    sdp_close(session);
    return 0;
  }
  // Back to blocking for the request: it runs on an open connection, and the
  // library waits at most its response time-out for each answer.
  fcntl(sock, F_SETFL, fcntl(sock, F_GETFL) & ~O_NONBLOCK);
  uuid_t serialPort;
  sdp_uuid16_create(&serialPort, SERIAL_PORT_SVCLASS_ID);
  sdp_list_t* search = sdp_list_append(nullptr, &serialPort);
  std::uint32_t range = 0x0000ffff;
  sdp_list_t* attributes = sdp_list_append(nullptr, &range);
  sdp_list_t* records = nullptr;
  int channel = 0;
  if (sdp_service_search_attr_req(session, search, SDP_ATTR_REQ_RANGE, attributes, &records) == 0) {
    // Every record is freed, also those after the one that gave the channel.
    for (sdp_list_t* r = records; r != nullptr; r = r->next) {
      auto* record = static_cast<sdp_record_t*>(r->data);
      sdp_list_t* protos = nullptr;
      if (channel == 0 && sdp_get_access_protos(record, &protos) == 0) {
        channel = sdp_get_proto_port(protos, RFCOMM_UUID);
        sdp_list_foreach(protos, reinterpret_cast<sdp_list_func_t>(sdp_list_free), nullptr);
        sdp_list_free(protos, nullptr);
      }
      sdp_record_free(record);
    }
  } else {
    error = "service look-up failed";
  }
  sdp_list_free(records, nullptr);
  sdp_list_free(search, nullptr);
  sdp_list_free(attributes, nullptr);
  sdp_close(session);
  if (channel == 0 && error.empty()) error = "the device offers no Serial Port service";
  return channel;
}

}  // namespace

bool BluezBluetooth::AdapterPresent(std::string& why) {
  if (FindAdapter() >= 0) return true;
  why = kNoAdapter;
  return false;
}

bool BluezBluetooth::Inquiry(const std::function<bool(const BtDeviceInfo&)>& found,
                             std::string& error) {
  BtError failure;
  const bool ok = CancellableInquiry(found, -1, failure);
  if (!ok) error = failure.text;
  return ok;
}

bool BluezBluetooth::CancellableInquiry(const std::function<bool(const BtDeviceInfo&)>& found,
                                        int cancelFd, BtError& error) {
  bool up = false;
  const int dev = FindAdapter(&up);
  if (dev < 0) {
    error = {ENODEV, kNoAdapter};
    return false;
  }
  PoweredForInquiry power(dev);
  if (!power.Up(up)) {
    error = {errno, std::string("cannot switch the Bluetooth adapter on: ") + std::strerror(errno)};
    return false;
  }
  const int dd = hci_open_dev(dev);
  if (dd < 0) {
    error = {errno, std::string("cannot open the Bluetooth adapter: ") + std::strerror(errno)};
    return false;
  }
  hci_filter filter;
  hci_filter_clear(&filter);
  hci_filter_set_ptype(HCI_EVENT_PKT, &filter);
  for (int event : {EVT_INQUIRY_COMPLETE, EVT_INQUIRY_RESULT, EVT_INQUIRY_RESULT_WITH_RSSI,
                    EVT_EXTENDED_INQUIRY_RESULT, EVT_CMD_STATUS, EVT_REMOTE_NAME_REQ_COMPLETE}) {
    hci_filter_set_event(event, &filter);
  }
  if (setsockopt(dd, SOL_HCI, HCI_FILTER, &filter, sizeof filter) != 0) {
    error = {errno, std::string("cannot open the Bluetooth adapter: ") + std::strerror(errno)};
    hci_close_dev(dd);
    return false;
  }
  std::vector<bdaddr_t> addresses;
  const bool ok = RunInquiry(dd, cancelFd, addresses, error);
  for (const auto& address : addresses) {
    if (Cancelled(cancelFd)) break;
    BtDeviceInfo device;
    device.address = FromBdaddr(address);
    device.name = RemoteName(dd, address, cancelFd);
    if (!found(device)) break;
  }
  hci_close_dev(dd);
  return ok;
}

int BluezBluetooth::Connect(const BtAddress& address, std::string_view, int cancelFd,
                            std::string& error) {
  const bdaddr_t target = ToBdaddr(address);
  const int channel = SerialPortChannel(target, cancelFd, error);
  if (channel <= 0) return -1;
  const int fd = socket(AF_BLUETOOTH, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, BTPROTO_RFCOMM);
  if (fd < 0) {
    error = std::string("cannot create an RFCOMM socket: ") + std::strerror(errno);
    return -1;
  }
  sockaddr_rc addr{};
  addr.rc_family = AF_BLUETOOTH;
  addr.rc_bdaddr = target;
  addr.rc_channel = static_cast<std::uint8_t>(channel);
  if (connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 &&
      errno != EINPROGRESS) {
    error = std::string("connect failed: ") + std::strerror(errno);
    close(fd);
    return -1;
  }
  int soError = 0;
  socklen_t len = sizeof soError;
  if (WaitReady(fd, POLLOUT, cancelFd, kConnectTimeoutMs) != 1 ||
      getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len) != 0 || soError != 0) {
    error = soError != 0 ? std::string("connect failed: ") + std::strerror(soError)
                         : "connect timed out or was cancelled";
    close(fd);
    return -1;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

bool BluezBluetooth::GetRadioMode(RadioMode& mode) {
  const int dev = FindAdapter();
  if (dev < 0) return false;
  hci_dev_info di{};
  if (hci_devinfo(dev, &di) != 0) return false;
  if (!hci_test_bit(HCI_UP, &di.flags)) {
    mode = RadioMode::kOff;
  } else if (hci_test_bit(HCI_ISCAN, &di.flags)) {
    mode = RadioMode::kDiscoverable;
  } else {
    mode = RadioMode::kConnectable;
  }
  return true;
}

bool BluezBluetooth::SetRadioMode(RadioMode mode) {
  const int dev = FindAdapter();
  if (dev < 0) return false;
  const int ctl = socket(AF_BLUETOOTH, SOCK_RAW | SOCK_CLOEXEC, BTPROTO_HCI);
  if (ctl < 0) return false;
  bool ok = true;
  if (mode == RadioMode::kOff) {
    ok = ioctl(ctl, HCIDEVDOWN, dev) == 0;
  } else {
    if (ioctl(ctl, HCIDEVUP, dev) != 0 && errno != EALREADY) ok = false;
    hci_dev_req request{};
    request.dev_id = static_cast<std::uint16_t>(dev);
    request.dev_opt = mode == RadioMode::kDiscoverable ? (SCAN_PAGE | SCAN_INQUIRY) : SCAN_PAGE;
    if (ok && ioctl(ctl, HCISETSCAN, reinterpret_cast<unsigned long>(&request)) != 0) ok = false;
  }
  close(ctl);
  return ok;
}

}  // namespace platform
