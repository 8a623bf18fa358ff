// The interface list, apart from the sockets' side: GetAdaptersAddresses
// from iphlpapi, which Windows itself ships.
#include "platform/interfaces.h"

// winsock2.h first: iphlpapi.h declares the adapter addresses only after it.
#include <winsock2.h>
#include <ws2tcpip.h>
// (kept apart so that sorting keeps the order)
#include <iphlpapi.h>

#include <vector>

namespace velkarin::platform {
namespace {

std::string Narrow(const wchar_t* wide) {
  if (wide == nullptr) return std::string();
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return std::string();
  std::string text(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), size, nullptr, nullptr);
  text.resize(static_cast<std::size_t>(size - 1));
  return text;
}

}  // namespace

std::vector<NetInterface> ListIpv4Interfaces() {
  std::vector<NetInterface> found;
  ULONG size = 16384;
  std::vector<unsigned char> buffer;
  ULONG status = ERROR_BUFFER_OVERFLOW;
  // The list may grow between the call that sizes it and the one that fills it.
  for (int attempt = 0; attempt < 4 && status == ERROR_BUFFER_OVERFLOW; ++attempt) {
    buffer.resize(size);
    status = GetAdaptersAddresses(
        AF_INET, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER,
        nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
  }
  if (status != NO_ERROR) return found;
  for (const IP_ADAPTER_ADDRESSES* a = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data());
       a != nullptr; a = a->Next) {
    if (a->OperStatus != IfOperStatusUp || a->FirstUnicastAddress == nullptr) continue;
    const sockaddr* address = a->FirstUnicastAddress->Address.lpSockaddr;
    if (address == nullptr || address->sa_family != AF_INET) continue;
    NetInterface i;
    i.name = Narrow(a->FriendlyName);
    if (i.name.empty()) i.name = a->AdapterName;
    i.index = a->IfIndex;
    i.address = ntohl(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr);
    i.prefixLength = a->FirstUnicastAddress->OnLinkPrefixLength;
    i.loopback = a->IfType == IF_TYPE_SOFTWARE_LOOPBACK;
    i.broadcast = !i.loopback && a->IfType != IF_TYPE_PPP && a->IfType != IF_TYPE_TUNNEL;
    if (i.index != 0) found.push_back(i);
  }
  return found;
}

}  // namespace velkarin::platform
