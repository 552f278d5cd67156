// zuvoze-netstat: the socket list for portwatch on a posix machine without
// netstat. It reads the kernel's socket tables (/proc/net/tcp, tcp6, udp,
// udp6) and prints one line per socket in the form of "netstat -a" on Windows:
//
//   Proto  Local Address          Foreign Address        State
//   TCP    0.0.0.0:2002           0.0.0.0:0              LISTENING
//   UDP    0.0.0.0:2004           *:*
//   TCP    [::1]:2005             [::]:0                 LISTENING
//
// Addresses and ports are numeric. Options are accepted and ignored. Exit code
// 0 when at least one table could be read, 1 otherwise.
#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace {

const char* tcpState(unsigned state) {
  switch (state) {
    case 0x01: return "ESTABLISHED";
    case 0x02: return "SYN_SENT";
    case 0x03: return "SYN_RECEIVED";
    case 0x04: return "FIN_WAIT_1";
    case 0x05: return "FIN_WAIT_2";
    case 0x06: return "TIME_WAIT";
    case 0x07: return "CLOSED";
    case 0x08: return "CLOSE_WAIT";
    case 0x09: return "LAST_ACK";
    case 0x0A: return "LISTENING";
    case 0x0B: return "CLOSING";
    default: return "UNKNOWN";
  }
}

// "HEXADDR:HEXPORT" of a table into "address:port"; the address is the kernel's
// bytes in network order, printed as 32-bit words in host order.
bool endpoint(const std::string& field, bool v6, std::string* out, bool* any) {
  std::string::size_type colon = field.find(':');
  if (colon == std::string::npos) return false;
  const std::string hex = field.substr(0, colon);
  unsigned long port = std::strtoul(field.c_str() + colon + 1, nullptr, 16);
  unsigned char bytes[16] = {0};
  const size_t words = v6 ? 4 : 1;
  if (hex.size() != words * 8) return false;
  for (size_t w = 0; w < words; ++w) {
    uint32_t word = static_cast<uint32_t>(std::strtoul(hex.substr(w * 8, 8).c_str(), nullptr, 16));
    std::memcpy(bytes + w * 4, &word, 4);
  }
  char text[INET6_ADDRSTRLEN] = {0};
  if (inet_ntop(v6 ? AF_INET6 : AF_INET, bytes, text, sizeof text) == nullptr) return false;
  bool zero = true;
  for (size_t i = 0; i < words * 4; ++i) zero = zero && bytes[i] == 0;
  *any = zero && port == 0;
  *out = (v6 ? "[" + std::string(text) + "]" : std::string(text)) + ":" + std::to_string(port);
  return true;
}

std::string pad(const std::string& text, size_t width) {
  // At least one blank after every column, so that a port is always followed
  // by one.
  return text.size() + 1 >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

bool listTable(const char* file, bool tcp, bool v6, std::string* out) {
  std::ifstream in(file);
  if (!in) return false;
  std::string line;
  std::getline(in, line);  // the heading
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state;
    if (!(fields >> slot >> local >> remote >> state)) continue;
    std::string localText, remoteText;
    bool localAny = false, remoteAny = false;
    if (!endpoint(local, v6, &localText, &localAny) ||
        !endpoint(remote, v6, &remoteText, &remoteAny)) {
      continue;
    }
    std::string row = "  " + pad(tcp ? "TCP" : "UDP", 7) + pad(localText, 23);
    if (tcp) {
      row += pad(remoteText, 23) + tcpState(static_cast<unsigned>(std::strtoul(state.c_str(), nullptr, 16)));
    } else {
      row += remoteAny ? std::string("*:*") : remoteText;
    }
    *out += row + "\n";
  }
  return true;
}

}  // namespace

int main() {
  std::string rows;
  bool any = false;
  any = listTable("/proc/net/tcp", true, false, &rows) || any;
  any = listTable("/proc/net/tcp6", true, true, &rows) || any;
  any = listTable("/proc/net/udp", false, false, &rows) || any;
  any = listTable("/proc/net/udp6", false, true, &rows) || any;
  if (!any) {
    std::fprintf(stderr, "zuvoze-netstat: the kernel's socket tables cannot be read\n");
    return 1;
  }
  std::string text = "\nActive Connections\n\n  Proto  Local Address          Foreign Address        State\n" + rows;
  std::fwrite(text.data(), 1, text.size(), stdout);
  return 0;
}
