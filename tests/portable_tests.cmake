# Test files without <windows.h>, relative to tests/: run in the Windows test program under Wine
# and natively with sanitizers.
set(TARN_PORTABLE_TEST_SOURCES
    common/text_test.cpp
    common/command_mask_test.cpp
    common/unique_test.cpp
    common/record_list_test.cpp
    common/run_log_line_test.cpp
    session/settings_text_test.cpp
    shellctl/chords_test.cpp
    shellctl/command_line_test.cpp
    session/pe_rules_test.cpp
    password/password_hash_test.cpp
    catalogues/bitlocker_rules_test.cpp
    catalogues/layout_rules_test.cpp
    catalogues/timezone_rules_test.cpp
    catalogues/display_mode_rules_test.cpp
    catalogues/installation_rules_test.cpp
    catalogues/secure_boot_rules_test.cpp
    envdialog/form_rules_test.cpp
    envdialog/hive_names_test.cpp
    envdialog/network_rules_test.cpp
    envdialog/log_collection_rules_test.cpp
    catalogues/device_rules_test.cpp
    catalogues/driver_match_rules_test.cpp
)
