// Interfaces, IPv4 addresses and adapter names from the IP Helper library.
// This file only reads; joining and filtering are BuildAdapterTable's.
#define WIN32_LEAN_AND_MEAN
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "net/AdapterTable.h"

namespace kestrel::net {
namespace {

// IP Helper tables hold 32- and 64-bit fields; a buffer of 64-bit words is
// aligned for all of them.
using TableBuffer = std::vector<std::uint64_t>;

TableBuffer BufferOfBytes(ULONG bytes) { return TableBuffer((bytes + 7) / 8); }

std::string WideToUtf8(const wchar_t* text, int length) {
  if (length <= 0) return {};
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string utf8(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, utf8.data(), bytes, nullptr, nullptr);
  return utf8;
}

// Interface descriptions come in the system's ANSI code page.
std::string AnsiToUtf8(const BYTE* text, DWORD maxLength) {
  const auto* chars = reinterpret_cast<const char*>(text);
  const int length = static_cast<int>(strnlen(chars, maxLength));
  if (length == 0) return {};
  const int wide = MultiByteToWideChar(CP_ACP, 0, chars, length, nullptr, 0);
  if (wide <= 0) return {};
  std::wstring utf16(static_cast<std::size_t>(wide), L'\0');
  MultiByteToWideChar(CP_ACP, 0, chars, length, utf16.data(), wide);
  return WideToUtf8(utf16.c_str(), wide);
}

// The interface table serves only as the list of interfaces to ask about:
// each one is then queried on its own, by the index its row carries.
std::optional<std::vector<InterfaceRow>> ReadInterfaces() {
  ULONG size = 0;
  if (GetIfTable(nullptr, &size, FALSE) != ERROR_INSUFFICIENT_BUFFER) return std::nullopt;
  TableBuffer buffer = BufferOfBytes(size);
  auto* table = reinterpret_cast<MIB_IFTABLE*>(buffer.data());
  if (GetIfTable(table, &size, FALSE) != NO_ERROR) return std::nullopt;

  std::vector<InterfaceRow> rows;
  for (DWORD i = 0; i < table->dwNumEntries; ++i) {
    MIB_IFROW entry{};
    entry.dwIndex = table->table[i].dwIndex;
    if (GetIfEntry(&entry) != NO_ERROR) continue;
    InterfaceRow row;
    row.ifIndex = entry.dwIndex;
    row.description = AnsiToUtf8(entry.bDescr, std::min<DWORD>(entry.dwDescrLen, MAXLEN_IFDESCR));
    row.operStatus = entry.dwOperStatus;
    row.physAddrLength = entry.dwPhysAddrLen;
    row.speed = entry.dwSpeed;
    rows.push_back(std::move(row));
  }
  return rows;
}

std::optional<std::vector<AddressRow>> ReadAddresses() {
  ULONG size = 0;
  if (GetIpAddrTable(nullptr, &size, FALSE) != ERROR_INSUFFICIENT_BUFFER) return std::nullopt;
  TableBuffer buffer = BufferOfBytes(size);
  auto* table = reinterpret_cast<MIB_IPADDRTABLE*>(buffer.data());
  if (GetIpAddrTable(table, &size, FALSE) != NO_ERROR) return std::nullopt;

  std::vector<AddressRow> rows;
  for (DWORD i = 0; i < table->dwNumEntries; ++i) {
    const MIB_IPADDRROW& entry = table->table[i];
    rows.push_back({entry.dwIndex, entry.dwAddr, entry.dwMask});
  }
  return rows;
}

std::optional<std::vector<AdapterRecord>> ReadAdapterNames() {
  constexpr ULONG kFamily = AF_UNSPEC;
  constexpr ULONG kFlags = GAA_FLAG_INCLUDE_PREFIX;
  ULONG size = 0;
  if (GetAdaptersAddresses(kFamily, kFlags, nullptr, nullptr, &size) != ERROR_BUFFER_OVERFLOW)
    return std::nullopt;
  TableBuffer buffer = BufferOfBytes(size);
  auto* list = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data());
  if (GetAdaptersAddresses(kFamily, kFlags, nullptr, list, &size) != NO_ERROR) return std::nullopt;

  std::vector<AdapterRecord> records;
  for (const IP_ADAPTER_ADDRESSES* adapter = list; adapter != nullptr; adapter = adapter->Next) {
    const wchar_t* name = adapter->FriendlyName;
    const int length = name != nullptr ? static_cast<int>(std::wcslen(name)) : 0;
    records.push_back({adapter->IfIndex, WideToUtf8(name, length)});
  }
  return records;
}

}  // namespace

AdapterSnapshot ReadPlatformAdapters() {
  AdapterSnapshot snapshot;
  snapshot.interfaces = ReadInterfaces();
  snapshot.addresses = ReadAddresses();
  snapshot.adapters = ReadAdapterNames();
  return snapshot;
}

}  // namespace kestrel::net
