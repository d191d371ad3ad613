// GetAdaptersAddresses' IPv4 list, read whole, for the network row and the network settings.
#pragma once

// The socket types the adapter list is made of; winsock2 must come before windows.h, and
// ws2ipdef before iphlpapi for the IP Helper's row types (netioapi).
#include <winsock2.h>
#include <ws2ipdef.h>
#include <iphlpapi.h>
#include <windows.h>

#include <string>
#include <vector>

// The buffer holding the list (its first record at data()); empty when it cannot be read or there
// is no adapter at all (ERROR_NO_DATA).
std::vector<unsigned char> ReadAdapterAddresses(ULONG flags);

inline const IP_ADAPTER_ADDRESSES* FirstAdapter(const std::vector<unsigned char>& list)
{
    return list.empty() ? nullptr : reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(list.data());
}

// An adapter's wide name in the ANSI code page, cut to 255 bytes.
std::string AdapterText(const wchar_t* text);
