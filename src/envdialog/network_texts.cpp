#include "envdialog/network_texts.h"

#include "common/resource_ids.h"
#include "common/text.h"
#include "langmodule/langmodule.h"

namespace {

struct BuiltInText {
    UINT id;
    const char* text;
};

const BuiltInText kBuiltIn[] = {
    {IDS_NET_SETTINGS_BUTTON, "S&ettings..."},
    {IDS_NET_DRIVE_BUTTON, "&Net drive..."},
    {IDS_ADDRESS_CAPTION, "Network Settings"},
    {IDS_ADDRESS_BAD_ADDRESS, "The IP address is not one an adapter can have: type four numbers from 0 to 255 with dots, such as 192.0.2.10 (not 0.x, 127.x or 224 and above)."},
    {IDS_ADDRESS_BAD_PREFIX, "The prefix length must be a number from 1 to 32 (24 for most networks), or a mask such as 255.255.255.0."},
    {IDS_ADDRESS_IS_NETWORK, "%1 is the address of the subnet itself, which no adapter may have. Choose another address, or check the prefix length."},
    {IDS_ADDRESS_IS_BROADCAST, "%1 is the broadcast address of the subnet, which no adapter may have. Choose another address, or check the prefix length."},
    {IDS_GATEWAY_BAD, "The gateway is not a valid IPv4 address: type it as 192.0.2.1, or leave it empty."},
    {IDS_GATEWAY_OUTSIDE, "The gateway %1 is not in the subnet of the address (%2): the adapter could not reach it."},
    {IDS_GATEWAY_IS_NETWORK, "The gateway %1 is the address of the subnet itself, which no router may have."},
    {IDS_GATEWAY_IS_BROADCAST, "The gateway %1 is the broadcast address of the subnet, which no router may have."},
    {IDS_GATEWAY_IS_ADDRESS, "The gateway %1 is the adapter's own address; type the router's address, or leave it empty."},
    {IDS_DNS1_BAD, "The first DNS server is not a valid IPv4 address: type it as 192.0.2.53, or leave it empty."},
    {IDS_DNS2_BAD, "The second DNS server is not a valid IPv4 address, or there is no first one."},
    {IDS_ADDRESS_FAILED, "The adapter %1 did not take the settings (step %2, error %3): %4"},
    {IDS_ADDRESS_NO_DNS_CALL, "The address is set, but this Windows PE cannot set DNS servers at once (SetInterfaceDnsSettings came with Windows 10 2004). They are stored and take effect when the adapter starts again."},
    {IDS_ADDRESS_NO_ADAPTER, "There is no wired or wireless network adapter. Load its driver first."},
    {IDS_ADDRESS_STATE, "%1, %2, %3"},
    {IDS_ADDRESS_DHCP, "automatic (DHCP)"},
    {IDS_ADDRESS_FIXED, "fixed address"},
    {IDS_ADDRESS_NONE, "no address yet"},
    {IDS_ADDRESS_FELL_BACK, "So that it is not left without an address, the adapter takes its address from DHCP again."},
    {IDS_DRIVE_CAPTION, "Network Drive"},
    {IDS_DRIVE_BAD_PATH, "Type the share as \\\\server\\share (a folder below it may follow)."},
    {IDS_DRIVE_BAD_USER, "Type the user as DOMAIN\\user, user@domain or .\\user for an account of the server itself, or leave it empty."},
    {IDS_DRIVE_BAD_LETTER, "Choose a drive letter."},
    {IDS_DRIVE_NOT_FOUND, "%1 was not found. Check the names of the server and the share, and that the network has an address."},
    {IDS_DRIVE_CREDENTIALS, "The server refused the user name or the password for %1. Check both; a local account of the server is written .\\user or SERVER\\user."},
    {IDS_DRIVE_CONFLICT, "This computer is already connected to the server of %1 as another user, and Windows allows one user per server. Disconnect those drives first, or use the same user."},
    {IDS_DRIVE_SIGNING, "The server of %1 does not sign its SMB traffic, which Windows requires since Windows 11 24H2. Turn on SMB signing on the server or NAS."},
    {IDS_DRIVE_GUEST, "The server of %1 only lets guests in, and Windows refuses guest access since Windows 11 24H2. Create an account on the server and connect with its user name and password."},
    {IDS_DRIVE_NO_NETWORK, "There is no network. Start it and wait until it has an address, then connect %1 again."},
    {IDS_DRIVE_LETTER_IN_USE, "The drive letter %2 is already in use; choose another one for %1."},
    {IDS_DRIVE_OTHER, "%1 could not be connected (error %3): %4"},
    {IDS_DRIVE_NO_MPR, "This Windows PE image cannot connect network drives: mpr.dll or one of its functions is missing."},
    {IDS_DRIVE_DISCONNECT_FAILED, "%1 could not be disconnected (error %2): %3"},
    {IDS_WAIT_REMAINING, "Waiting for a network address before the shell starts: %1 s left."},
    {IDS_WAIT_NO_ADAPTER, "No wired or wireless adapter yet."},
    {IDS_PROXY_BAD, "Type the proxy as host:port, such as proxy.example:8080 (no http://), or leave it empty for none."},
    {IDS_PROXY_NO_WINHTTP, "This Windows PE has no WinHTTP (winhttp.dll): the proxy reaches the tools through HTTP_PROXY, HTTPS_PROXY and NO_PROXY only."},
};

}  // namespace

std::string NetworkText(UINT id)
{
    for (const BuiltInText& entry : kBuiltIn) {
        if (entry.id == id) return LoadLangStringOr(id, entry.text);
    }
    return LoadLangString(id);
}

std::string NetworkText(UINT id, std::initializer_list<std::string_view> values)
{
    return FillPlaceholders(NetworkText(id), values);
}
