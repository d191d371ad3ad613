# The decisions that need no platform call, relative to src/: the Windows build and the native
# sanitizer and fuzz build compile the same list.
set(TARN_PORTABLE_SOURCES
    catalogues/bitlocker_rules.cpp
    catalogues/device_rules.cpp
    catalogues/driver_match_rules.cpp
    catalogues/inf_rules.cpp
    catalogues/display_mode_rules.cpp
    catalogues/installation_rules.cpp
    catalogues/pe_header.cpp
    catalogues/secure_boot_rules.cpp
    catalogues/layout_rules.cpp
    catalogues/timezone_rules.cpp
    envdialog/form_rules.cpp
    envdialog/hive_names.cpp
    envdialog/network_rules.cpp
    common/command_mask.cpp
    envdialog/log_collection_rules.cpp
    common/errors.cpp
    common/run_log_line.cpp
    common/text.cpp
    password/pass_key.cpp
    password/password_hash.cpp
    shellctl/chords.cpp
    shellctl/command_line.cpp
    session/pe_rules.cpp
    session/settings_text.cpp
)
