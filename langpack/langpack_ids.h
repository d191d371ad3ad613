/* Ids private to the English module: its own shutdown dialog and the scan clip.
   The program never names these; the block 5000-5099 is kept clear of every id in
   common/resource_ids.h so a template can never pick up a contract control by accident. */
#ifndef TARN_LANGPACK_IDS_H
#define TARN_LANGPACK_IDS_H

#define IDA_SCAN_CLIP           5001

#define IDD_SHUTDOWN            5010
#define IDC_SHUTDOWN_ICON       5011
#define IDC_SHUTDOWN_PROMPT     5012
/* The three choices in on-screen order: CheckRadioButton takes them as one range. */
#define IDC_SHUTDOWN_POWEROFF   5013
#define IDC_SHUTDOWN_RESTART    5014
#define IDC_SHUTDOWN_QUIT       5015
#define IDC_SHUTDOWN_MEDIUM     5016

#endif
