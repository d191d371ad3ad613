/* English texts of the Wi-Fi dialog and its passphrase prompt: the English module and the
   program's own fallback templates both take them from here. */
#ifndef TARN_WIFI_TEXTS_EN_H
#define TARN_WIFI_TEXTS_EN_H

#define TXT_WIFI_CAPTION        "Wi-Fi"
#define TXT_WIFI_NETWORKS       "&Networks in reach:"
#define TXT_WIFI_CONNECT        "&Connect"
#define TXT_WIFI_DISCONNECT     "&Disconnect"
#define TXT_WIFI_REFRESH        "&Refresh"
#define TXT_WIFI_CLOSE          "Close"
#define TXT_WIFI_PASSPHRASE_CAPTION "Wi-Fi Passphrase"
#define TXT_WIFI_PASSPHRASE     "&Passphrase:"

#endif
