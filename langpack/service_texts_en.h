/* English texts of the devices list and the progress of Collect logs: the English module and
   the program's own fallback templates both take them from here. */
#ifndef TARN_SERVICE_TEXTS_EN_H
#define TARN_SERVICE_TEXTS_EN_H

#define TXT_DEVICES_CAPTION     "Devices"
#define TXT_DEVICES_REFRESH     "&Refresh"
#define TXT_DEVICES_CLOSE       "Close"
#define TXT_DEVICES_FIND        "&Find drivers"
#define TXT_COLLECT_CAPTION     "Collect Logs"
#define TXT_COLLECT_TO          "Copying the logs to:"

#endif
