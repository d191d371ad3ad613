// A secret typed into an edit control (a recovery key, a share's password): read into a buffer
// that is wiped when it goes, and the control's own copy overwritten.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

constexpr int kSecretBuffer = 256;  // room for a pasted key with blanks and line ends around it

class TypedSecret {
public:
    TypedSecret(HWND dialog, int control) : length_(GetDlgItemTextA(dialog, control, text_, kSecretBuffer)) {}
    ~TypedSecret() { SecureZeroMemory(text_, sizeof text_); }
    TypedSecret(const TypedSecret&) = delete;
    TypedSecret& operator=(const TypedSecret&) = delete;
    const char* data() const { return text_; }
    size_t size() const { return static_cast<size_t>(length_); }

private:
    char text_[kSecretBuffer] = "";
    int length_;
};

// Text of the same length is written over the old in place; empty text alone would only mark it
// unused.
inline void ClearSecretEntry(HWND dialog, int control)
{
    HWND edit = GetDlgItem(dialog, control);
    const int length = GetWindowTextLengthA(edit);
    SetWindowTextA(edit, std::string(static_cast<size_t>(length), ' ').c_str());
    SetWindowTextA(edit, "");
}
