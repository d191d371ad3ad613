// A secret typed into an edit control (the access password, a recovery key, a BitLocker password,
// a share's password):
// read into a buffer that is wiped when it goes, and the control's own copy overwritten.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>

constexpr int kSecretBuffer = 256;  // 255 characters: a passphrase, or a pasted key with blanks around it

// Char is char for an ANSI call such as WNetAddConnection2A, wchar_t where every character the
// operator typed must survive (a BitLocker password).
template <typename Char>
class TypedSecretOf {
public:
    TypedSecretOf(HWND dialog, int control) : length_(Read(dialog, control, text_)) {}
    ~TypedSecretOf() { SecureZeroMemory(text_, sizeof text_); }
    TypedSecretOf(const TypedSecretOf&) = delete;
    TypedSecretOf& operator=(const TypedSecretOf&) = delete;
    const Char* data() const { return text_; }
    size_t size() const { return static_cast<size_t>(length_); }
    std::basic_string_view<Char> Text() const { return {text_, size()}; }

private:
    static int Read(HWND dialog, int control, char* text) { return GetDlgItemTextA(dialog, control, text, kSecretBuffer); }
    static int Read(HWND dialog, int control, wchar_t* text)
    {
        return GetDlgItemTextW(dialog, control, text, kSecretBuffer);
    }

    Char text_[kSecretBuffer] = {};
    int length_;
};
using TypedSecret = TypedSecretOf<char>;
using TypedSecretWide = TypedSecretOf<wchar_t>;

// Text of the same length is written over the old in place; empty text alone would only mark it
// unused.
inline void ClearSecretEntry(HWND dialog, int control)
{
    HWND edit = GetDlgItem(dialog, control);
    const int length = GetWindowTextLengthA(edit);
    SetWindowTextA(edit, std::string(static_cast<size_t>(length), ' ').c_str());
    SetWindowTextA(edit, "");
}
