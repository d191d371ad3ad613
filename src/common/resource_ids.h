/* Resource ids of the language module: dialog templates, their controls and the strings.
   Included by the program's code and by every language module's resource script, so each
   number is written here and nowhere else. Plain #defines only: windres reads this file too. */
#ifndef TARN_RESOURCE_IDS_H
#define TARN_RESOURCE_IDS_H

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

/* Password dialog */
#define IDD_PASSWORD            2000
#define IDC_PASSWORD_USER       2005
#define IDC_PASSWORD_USER_LABEL 2006
#define IDC_PASSWORD_EDIT       2010
#define IDC_PASSWORD_EDIT_LABEL 2011
#define IDC_PASSWORD_REPEAT     2015
#define IDC_PASSWORD_REPEAT_LABEL 2016
#define IDC_PASSWORD_HEADING    2020
/* The keyboard before the password. Later than the 1.5 module contract: a template without them
   gets them from the program (see AddMissingControls). */
#define IDC_PASSWORD_LAYOUT     2030
#define IDC_PASSWORD_LAYOUT_LABEL 2031

/* Environment dialog */
#define IDD_ENVIRONMENT         2600
#define IDC_ENV_TOGGLE          9
#define IDC_ENV_TARGETS         1001
#define IDC_ENV_FOLDER          1003
#define IDC_ENV_BROWSE          1004
#define IDC_ENV_SHELL           1006
#define IDC_ENV_LAYOUT          1010
#define IDC_ENV_TIMEZONE        1011
#define IDC_ENV_DISPLAY         1012
#define IDC_ENV_APPLY_LAYOUT    1020
#define IDC_ENV_APPLY_TIMEZONE  1021
#define IDC_ENV_APPLY_DISPLAY   1022
#define IDC_ENV_LAYOUT_LABEL    1030
#define IDC_ENV_TIMEZONE_LABEL  1031
#define IDC_ENV_DISPLAY_LABEL   1032
/* The operator's tools. Later than the 1.5 module contract: a template without them gets them
   from the program (see AddMissingControls). */
#define IDC_ENV_LOAD_DRIVER     1040
#define IDC_ENV_NETWORK_LABEL   1041
#define IDC_ENV_NETWORK_STATUS  1042
#define IDC_ENV_NETWORK_START   1043
/* The service kit: logs collected to a stick, devices without a driver. Later than the 1.5
   module contract, as the tools above. */
#define IDC_ENV_COLLECT_LOGS    1044
#define IDC_ENV_DEVICES         1045

/* Scan dialog */
#define IDD_SCAN                2800
#define IDC_SCAN_STATUS         1
#define IDC_SCAN_ANIMATION      2801

/* Unlock prompt for a drive that BitLocker keeps locked. Later than the 1.5 module contract: a
   module without it gets the program's own English template. */
#define IDD_UNLOCK              2900
#define IDC_UNLOCK_DRIVE        2901
#define IDC_UNLOCK_KEY_ID       2902
#define IDC_UNLOCK_PASSWORD     2903

/* The devices list and the progress of Collect logs. Later than the 1.5 module contract: a
   module without them gets the program's own English templates. */
#define IDD_DEVICES             2950
#define IDC_DEVICES_SUMMARY     2951
#define IDC_DEVICES_LIST        2952
#define IDC_DEVICES_REFRESH     2953
#define IDC_DEVICES_FIND        2954
#define IDD_COLLECT_PROGRESS    2960
#define IDC_COLLECT_DESTINATION 2961
#define IDC_COLLECT_CURRENT     2962
#define IDC_COLLECT_COUNTS      2963
#define IDC_COLLECT_BAR         2964

/* Strings */
#define IDS_ERROR_HINT          3041
#define IDS_ERROR_CAPTION       3042
#define IDS_NOT_NT              3043
#define IDS_SETTINGS_MISSING    3044
#define IDS_DISPLAY_TEST_FAILED 3050
#define IDS_DISPLAY_TEST_CAPTION 3051
#define IDS_BROWSE_NOT_FIXED    3070
#define IDS_BROWSE_NO_HIVES     3071
#define IDS_BROWSE_HIVE_LABEL   3072
#define IDS_BROWSE_TITLE        3073
#define IDS_COLUMN_FOLDER       3080
#define IDS_COLUMN_DESCRIPTION  3081
#define IDS_NO_TARGET_FOLDER    3082
#define IDS_NO_TARGET_DESCRIPTION 3083
#define IDS_TOGGLE_COLLAPSE     3084
#define IDS_TOGGLE_EXPAND       3085
#define IDS_UNKNOWN_PRODUCT     3086
#define IDS_SCANNING_DRIVE      3087
#define IDS_SETPASS_TITLE       3090
#define IDS_SETPASS_HEADING     3091
#define IDS_SETPASS_MISMATCH    3092
#define IDS_LOGON_WRONG         3093
#define IDS_LOGON_LAST_WRONG    3094
#define IDS_SETPASS_DONE        3095
#define IDS_SETPASS_UNCHANGED   3096
/* Processor family of an installation, after its name. Later than the 1.5 module contract:
   a module without them gets the program's English words. */
#define IDS_ARCH_X86            3100
#define IDS_ARCH_X64            3101
#define IDS_ARCH_ARM64          3102
/* BitLocker: a locked drive in the target list and its unlock prompt. Later than the 1.5 module
   contract: a module without them gets the program's English texts. */
#define IDS_LOCKED_DESCRIPTION  3110
#define IDS_UNLOCK_BUTTON       3111
#define IDS_UNLOCK_MALFORMED    3112
#define IDS_UNLOCK_REFUSED      3113
#define IDS_UNLOCK_NO_TOOLS     3114
#define IDS_UNLOCK_NO_KEY_ID    3115
#define IDS_UNLOCK_CAPTION      3116
/* Windows PE start-up in the scan dialog. Later than the 1.5 module contract: a module without
   them gets the program's English texts. */
#define IDS_STARTING_PE         3140
#define IDS_LOADING_DRIVER      3141
/* The operator's tools: a driver, the network, the keyboard before the password, the running
   Windows PE in the target list. Later than the 1.5 module contract: a module without them gets
   the program's English texts. */
#define IDS_LOAD_DRIVER_BUTTON  3150
#define IDS_DRIVER_CAPTION      3151
#define IDS_DRIVER_FILTER       3152
#define IDS_DRIVER_LOADED       3153
#define IDS_DRIVER_REFUSED      3154
#define IDS_DRIVER_NO_TOOL      3155
#define IDS_NETWORK_LABEL       3156
#define IDS_NETWORK_START       3157
#define IDS_NETWORK_NOT_STARTED 3158
#define IDS_NETWORK_STARTING    3159
#define IDS_NETWORK_NO_ADAPTER  3160
#define IDS_NETWORK_WAITING     3161
#define IDS_NETWORK_UNSUPPORTED 3162
#define IDS_PASSWORD_LAYOUT_LABEL 3163
#define IDS_RUNNING_PE          3164
/* Telling installations apart: the Volume column of the target list, the installation's own time
   zone marked in the time-zone list, the decimal point of a volume's size. Later than the 1.5
   module contract: a module without them gets the program's English texts. */
#define IDS_COLUMN_VOLUME       3200
#define IDS_TARGET_ZONE         3201
#define IDS_DECIMAL_POINT       3202
/* The service kit: Collect logs and Devices. Later than the 1.5 module contract: a module
   without them gets the program's English texts. */
#define IDS_COLLECT_LOGS_BUTTON 3210
#define IDS_DEVICES_BUTTON      3211
#define IDS_COLLECT_BROWSE_TITLE 3212
#define IDS_COLLECT_CAPTION     3213
#define IDS_COLLECT_DONE        3214
#define IDS_COLLECT_CANCELLED   3215
#define IDS_COLLECT_NO_FOLDER   3216
#define IDS_COLLECT_COUNTS      3217
#define IDS_COLLECT_STOPPING    3218
#define IDS_COLLECT_NOT_WRITABLE 3219
#define IDS_DEVICES_SUMMARY     3220
#define IDS_DEVICES_NONE        3221
#define IDS_DEVICE_CLASS        3222
#define IDS_DEVICE_NO_CLASS     3223
#define IDS_DEVICE_NO_NAME      3224
#define IDS_DEVICE_WORKING      3225
#define IDS_DEVICE_NO_DRIVER    3226
#define IDS_DEVICE_FAILED_START 3227
#define IDS_DEVICE_DISABLED     3228
#define IDS_DEVICE_PROBLEM      3229
#define IDS_DEVICE_NOT_STARTED  3230
#define IDS_DEVICE_UNKNOWN      3231
#define IDS_DEVICE_NO_IDS       3232
#define IDS_COLLECT_NO_INDEX    3233
/* The shell loop: a shell that could not be started. Later than the 1.5 module contract: a module
   without it gets the program's English text. */
#define IDS_SHELL_NOT_STARTED   3240
/* Find drivers in the devices list. Later than the 1.5 module contract: a module without them
   gets the program's English texts, and its devices dialog the button at run time. */
#define IDS_DRIVERS_FIND_BUTTON 3400
#define IDS_DRIVERS_SUMMARY     3401
#define IDS_DRIVERS_NO_LIBRARY  3402
#define IDS_DRIVERS_NO_DEVICES  3403
#define IDS_DRIVERS_FOUND       3404
#define IDS_DRIVERS_NONE_FOUND  3405
#define IDS_DRIVERS_LOADED      3406
#define IDS_DRIVERS_NOT_LOADED  3407
#define IDS_DRIVERS_WORKS_NOW   3408
#define IDS_DRIVERS_HIDDEN_DISKS 3409
#define IDS_DRIVERS_SEARCHING   3410

#endif
