#include "envdialog/wifi_text.h"

#include "common/resource_ids.h"
#include "envdialog/wifi_rules.h"
#include "langmodule/langmodule.h"

namespace {

std::wstring ToWide(UINT codePage, std::string_view text)
{
    if (text.empty()) return std::wstring();
    const int length = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
    return wide;
}

}  // namespace

std::wstring Utf8ToWide(std::string_view text) { return ToWide(CP_UTF8, text); }
std::wstring AnsiToWide(std::string_view text) { return ToWide(CP_ACP, text); }

std::string WideToUtf8(std::wstring_view text)
{
    if (text.empty()) return std::string();
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(length > 0 ? length : 0), '\0');
    if (length > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &narrow[0], length, nullptr, nullptr);
    }
    return narrow;
}

std::wstring WideMessage(const std::string& ansiTemplate, std::initializer_list<std::wstring_view> values)
{
    std::wstring text = AnsiToWide(ansiTemplate);
    std::wstring filled;
    for (size_t at = 0; at < text.size(); ++at) {
        const size_t index = at + 1 < text.size() ? static_cast<size_t>(text[at + 1] - L'1') : values.size();
        if (text[at] == L'%' && index < values.size()) {
            filled += *(values.begin() + index);
            ++at;
        } else {
            filled += text[at];
        }
    }
    return filled;
}

std::wstring SsidDisplay(std::string_view ssid)
{
    if (ssid.empty()) return AnsiToWide(LoadLangStringOr(IDS_WIFI_HIDDEN, "(hidden network)"));
    return Utf8ToWide(SsidText(ssid));
}

void SetItemTextWide(HWND dialog, int control, const std::wstring& text)
{
    SetWindowTextW(GetDlgItem(dialog, control), text.c_str());
}

void WipeString(std::string& text)
{
    if (!text.empty()) SecureZeroMemory(&text[0], text.size());
    text.clear();
}

void WipeString(std::wstring& text)
{
    if (!text.empty()) SecureZeroMemory(&text[0], text.size() * sizeof(wchar_t));
    text.clear();
}
