// The small wide-character part of the Wi-Fi feature. The WLAN API speaks UTF-16 only, and a
// network's name is UTF-8 whatever the code page: names reach the screen through the W calls,
// while the program's own texts stay in the code page of the language module.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>
#include <string_view>

std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);
std::wstring AnsiToWide(std::string_view text);

// A text of the language module (code page) with %1, %2... filled with wide values.
std::wstring WideMessage(const std::string& ansiTemplate, std::initializer_list<std::wstring_view> values);

// A network's name as the operator reads it (its text, or hex; the hidden network's own words).
std::wstring SsidDisplay(std::string_view ssid);

void SetItemTextWide(HWND dialog, int control, const std::wstring& text);

// Overwrites a string that held a secret, then empties it.
void WipeString(std::string& text);
void WipeString(std::wstring& text);
