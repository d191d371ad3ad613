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
/* The on-screen keyboard's button, made by the program where the image carries osk.exe. */
#define IDC_PASSWORD_OSK        2040

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
/* Wi-Fi on the network row. Later than the 2.0 module contract: a template without it gets it
   from the program, left of the network row's other buttons (see AddWifiButton). */
#define IDC_ENV_WIFI            1046
/* Removable drives searched too, on request. Later than the 1.5 module contract, as above. */
#define IDC_ENV_REMOVABLE       1049
/* The network's own settings and network drives. Later than the 1.5 module contract, as the
   tools above. */
#define IDC_ENV_NETWORK_SETTINGS 1047
#define IDC_ENV_NETWORK_DRIVE   1048

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
/* The kinds of unlock (recovery key, password, key file) and the suspend for one restart: later
   than the first unlock prompt; a template without them gets them from the program. */
#define IDC_UNLOCK_METHOD_LABEL 2904
#define IDC_UNLOCK_METHOD       2905
#define IDC_UNLOCK_PASSWORD_LABEL 2906
#define IDC_UNLOCK_KEY_FILE     2907
#define IDC_UNLOCK_SUSPEND      2908
#define IDC_UNLOCK_SUSPEND_NOTE 2909
/* The on-screen keypad, made by the program: the digits 0-9, backspace, the group dash. */
#define IDC_UNLOCK_KEYPAD_FIRST 2910
#define IDC_UNLOCK_KEYPAD_LAST  2921
#define IDC_UNLOCK_OSK          2922

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

/* The Wi-Fi dialog and its passphrase prompt. Later than the 2.0 module contract: a module
   without them gets the program's own English templates. */
#define IDD_WIFI                3000
#define IDC_WIFI_STATUS         3001
#define IDC_WIFI_LIST_LABEL     3002
#define IDC_WIFI_LIST           3003
#define IDC_WIFI_CONNECT        3004
#define IDC_WIFI_DISCONNECT     3005
#define IDC_WIFI_REFRESH        3006
#define IDD_WIFI_PASSPHRASE     3010
#define IDC_WIFI_PASSPHRASE_PROMPT 3011
#define IDC_WIFI_PASSPHRASE_LABEL 3012
#define IDC_WIFI_PASSPHRASE     3013
/* A fixed address for an adapter, network drives, the wait for an address. Later than the 1.5
   module contract: a module without them gets the program's own English templates. */
#define IDD_NET_ADDRESS         3020
#define IDC_ADDRESS_ADAPTER     3021
#define IDC_ADDRESS_AUTOMATIC   3022
#define IDC_ADDRESS_FIXED       3023
#define IDC_ADDRESS_ADDRESS     3024
#define IDC_ADDRESS_PREFIX      3025
#define IDC_ADDRESS_GATEWAY     3026
#define IDC_ADDRESS_DNS1        3027
#define IDC_ADDRESS_DNS2        3028
#define IDC_ADDRESS_STATE       3029
#define IDC_ADDRESS_PROXY       3040
#define IDC_ADDRESS_BYPASS      3041
#define IDD_NET_DRIVE           3030
#define IDC_DRIVE_PATH          3031
#define IDC_DRIVE_USER          3032
#define IDC_DRIVE_PASSWORD      3033
#define IDC_DRIVE_LETTER        3034
#define IDC_DRIVE_CONNECTED     3035
#define IDC_DRIVE_DISCONNECT    3036
#define IDD_NET_WAIT            3045
#define IDC_WAIT_REMAINING      3046
#define IDC_WAIT_ADAPTERS       3047

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
/* BitLocker: unlocking with a password or a key file, the suspend for one restart. Later than
   the 1.5 module contract: a module without them gets the program's English texts. */
#define IDS_UNLOCK_METHOD_LABEL 3440
#define IDS_UNLOCK_BY_RECOVERY_KEY 3441
#define IDS_UNLOCK_BY_PASSWORD  3442
#define IDS_UNLOCK_BY_KEY_FILE  3443
#define IDS_UNLOCK_PASSWORD_LABEL 3444
#define IDS_UNLOCK_KEY_FILE_FOUND 3445
#define IDS_UNLOCK_KEY_FILE_NONE 3446
#define IDS_UNLOCK_PASSWORD_REFUSED 3447
#define IDS_UNLOCK_KEY_FILE_REFUSED 3448
#define IDS_UNLOCK_SUSPEND      3449
#define IDS_UNLOCK_SUSPEND_NOTE 3450
#define IDS_UNLOCK_SUSPENDED    3451
#define IDS_UNLOCK_SUSPEND_FAILED 3452
#define IDS_UNLOCK_NO_INSTALLATION 3453
#define IDS_UNLOCK_RECOVERY_LABEL 3454
#define IDS_ENV_REMOVABLE       3455
#define IDS_OSK_BUTTON          3456
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
   zone marked in the time-zone list, the decimal point of a volume's size, the mark of a volume
   that holds a hibernation image. Later than the 1.5 module contract: a module without them gets
   the program's English texts. */
#define IDS_COLUMN_VOLUME       3200
#define IDS_TARGET_ZONE         3201
#define IDS_DECIMAL_POINT       3202
#define IDS_VOLUME_HIBERNATED   3203
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
/* Wi-Fi: the network row's button and text, the Wi-Fi dialog, the start-up's profiles. Later than
   the 2.0 module contract: a module without them gets the program's English texts. */
#define IDS_WIFI_BUTTON         3300
#define IDS_WIFI_NO_SUPPORT     3301
#define IDS_WIFI_NO_ADAPTER     3302
#define IDS_WIFI_SERVICE_DOWN   3303
#define IDS_WIFI_SCANNING       3304
#define IDS_WIFI_LISTED         3305
#define IDS_WIFI_CONNECTING     3306
#define IDS_WIFI_CONNECTED      3307
#define IDS_WIFI_WRONG_KEY      3308
#define IDS_WIFI_GONE           3309
#define IDS_WIFI_TIMED_OUT      3310
#define IDS_WIFI_FAILED         3311
#define IDS_WIFI_DISCONNECTED   3312
#define IDS_WIFI_NOT_JOINABLE   3313
#define IDS_WIFI_COLUMN_NAME    3314
#define IDS_WIFI_COLUMN_SIGNAL  3315
#define IDS_WIFI_COLUMN_SECURITY 3316
#define IDS_WIFI_OPEN           3317
#define IDS_WIFI_WPA2           3318
#define IDS_WIFI_WPA3           3319
#define IDS_WIFI_ENTERPRISE     3320
#define IDS_WIFI_OTHER          3321
#define IDS_WIFI_HIDDEN         3322
#define IDS_WIFI_CONNECTED_MARK 3323
#define IDS_WIFI_PASSPHRASE_FOR 3324
#define IDS_WIFI_PASSPHRASE_RULE 3325
#define IDS_WIFI_ROW_CONNECTED  3326
#define IDS_WIFI_ROW_WAITING    3327
#define IDS_WIFI_STARTUP        3328
/* The network's settings: a fixed address, network drives. Later than the 1.5 module contract: a
   module without them gets the program's English texts. */
#define IDS_NET_SETTINGS_BUTTON 3340
#define IDS_NET_DRIVE_BUTTON    3341
#define IDS_ADDRESS_CAPTION     3342
#define IDS_ADDRESS_BAD_ADDRESS 3343
#define IDS_ADDRESS_BAD_PREFIX  3344
#define IDS_ADDRESS_IS_NETWORK  3345
#define IDS_ADDRESS_IS_BROADCAST 3346
#define IDS_GATEWAY_BAD         3347
#define IDS_GATEWAY_OUTSIDE     3348
#define IDS_GATEWAY_IS_NETWORK  3349
#define IDS_GATEWAY_IS_BROADCAST 3350
#define IDS_GATEWAY_IS_ADDRESS  3351
#define IDS_DNS1_BAD            3352
#define IDS_DNS2_BAD            3353
#define IDS_ADDRESS_FAILED      3354
#define IDS_ADDRESS_NO_DNS_CALL 3355
#define IDS_ADDRESS_NO_ADAPTER  3356
#define IDS_ADDRESS_STATE       3357
#define IDS_ADDRESS_DHCP        3358
#define IDS_ADDRESS_FIXED       3359
#define IDS_ADDRESS_NONE        3360
#define IDS_ADDRESS_FELL_BACK   3361
#define IDS_DRIVE_CAPTION       3365
#define IDS_DRIVE_BAD_PATH      3366
#define IDS_DRIVE_BAD_USER      3367
#define IDS_DRIVE_BAD_LETTER    3368
#define IDS_DRIVE_NOT_FOUND     3369
#define IDS_DRIVE_CREDENTIALS   3370
#define IDS_DRIVE_CONFLICT      3371
#define IDS_DRIVE_SIGNING       3372
#define IDS_DRIVE_GUEST         3373
#define IDS_DRIVE_NO_NETWORK    3374
#define IDS_DRIVE_LETTER_IN_USE 3375
#define IDS_DRIVE_OTHER         3376
#define IDS_DRIVE_NO_MPR        3377
#define IDS_DRIVE_DISCONNECT_FAILED 3378
#define IDS_WAIT_REMAINING      3380
#define IDS_WAIT_NO_ADAPTER     3381
#define IDS_PROXY_BAD           3385
#define IDS_PROXY_NO_WINHTTP    3386
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
