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

#include <cerrno>
#include <cstring>
#include <vector>

namespace platform {

namespace {

constexpr const char* kNoAdapter = "no Bluetooth adapter";
constexpr int kInquiryUnits = 8;  // x 1.28 s
constexpr int kMaxResponses = 255;
constexpr int kNameTimeoutMs = 5000;
constexpr int kConnectTimeoutMs = 20000;

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
  // Back to blocking for the request: it runs on an open connection.
  fcntl(sock, F_SETFL, fcntl(sock, F_GETFL) & ~O_NONBLOCK);
  uuid_t serialPort;
  sdp_uuid16_create(&serialPort, SERIAL_PORT_SVCLASS_ID);
  sdp_list_t* search = sdp_list_append(nullptr, &serialPort);
  std::uint32_t range = 0x0000ffff;
  sdp_list_t* attributes = sdp_list_append(nullptr, &range);
  sdp_list_t* records = nullptr;
  int channel = 0;
  if (sdp_service_search_attr_req(session, search, SDP_ATTR_REQ_RANGE, attributes, &records) == 0) {
    for (sdp_list_t* r = records; r != nullptr && channel == 0; r = r->next) {
      auto* record = static_cast<sdp_record_t*>(r->data);
      sdp_list_t* protos = nullptr;
      if (sdp_get_access_protos(record, &protos) == 0) {
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
  const int dev = hci_get_route(nullptr);
  if (dev < 0) {
    why = kNoAdapter;
    return false;
  }
  return true;
}

bool BluezBluetooth::Inquiry(const std::function<bool(const BtDeviceInfo&)>& found,
                             std::string& error) {
  const int dev = hci_get_route(nullptr);
  if (dev < 0) {
    error = kNoAdapter;
    return false;
  }
  const int sock = hci_open_dev(dev);
  if (sock < 0) {
    error = std::string("cannot open the Bluetooth adapter: ") + std::strerror(errno);
    return false;
  }
  std::vector<inquiry_info> results(kMaxResponses);
  inquiry_info* info = results.data();
  const int count = hci_inquiry(dev, kInquiryUnits, kMaxResponses, nullptr, &info, IREQ_CACHE_FLUSH);
  if (count < 0) {
    error = std::string("inquiry failed: ") + std::strerror(errno);
    hci_close_dev(sock);
    return false;
  }
  for (int i = 0; i < count; ++i) {
    BtDeviceInfo device;
    device.address = FromBdaddr(info[i].bdaddr);
    char name[249] = {};
    if (hci_read_remote_name(sock, &info[i].bdaddr, sizeof name, name, kNameTimeoutMs) == 0) {
      device.name = name;
    }
    if (!found(device)) break;
  }
  hci_close_dev(sock);
  return true;
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
  const int dev = hci_get_route(nullptr);
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
  const int dev = hci_get_route(nullptr);
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
