/* English texts of the network's settings and network drives: the English module and the
   program's own fallback templates both take them from here. */
#ifndef TARN_NETWORK_TEXTS_EN_H
#define TARN_NETWORK_TEXTS_EN_H

#define TXT_ADDRESS_CAPTION     "Network Settings"
#define TXT_ADDRESS_ADAPTER     "A&dapter:"
#define TXT_ADDRESS_AUTOMATIC   "Obtain an address a&utomatically (DHCP)"
#define TXT_ADDRESS_FIXED       "Use this &fixed address:"
#define TXT_ADDRESS_ADDRESS     "&IP address:"
#define TXT_ADDRESS_PREFIX      "&Prefix length or mask:"
#define TXT_ADDRESS_GATEWAY     "&Gateway:"
#define TXT_ADDRESS_DNS         "D&NS servers:"
#define TXT_ADDRESS_PROXY       "Pro&xy server (host:port):"
#define TXT_ADDRESS_BYPASS      "&Bypass list:"
#define TXT_ADDRESS_APPLY       "&Apply"
#define TXT_ADDRESS_CLOSE       "Close"
#define TXT_DRIVE_CAPTION       "Network Drive"
#define TXT_DRIVE_PATH          "&Share:"
#define TXT_DRIVE_USER          "&User:"
#define TXT_DRIVE_PASSWORD      "&Password:"
#define TXT_DRIVE_LETTER        "&Drive:"
#define TXT_DRIVE_CONNECT       "&Connect"
#define TXT_DRIVE_CONNECTED     "Drives connected here:"
#define TXT_DRIVE_DISCONNECT    "D&isconnect"
#define TXT_DRIVE_CLOSE         "Close"
#define TXT_WAIT_CAPTION        "Network"
#define TXT_WAIT_SKIP           "&Skip"

#endif
