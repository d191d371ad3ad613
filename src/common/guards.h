// Owners for every kind of platform resource the program acquires. Each one releases its
// resource when its scope ends, also on an early return or an exception.
#pragma once

#include <windows.h>
#include <bcrypt.h>
#include <wincrypt.h>
#include <objbase.h>

#include "common/unique.h"

#include <string>

namespace guards_detail {
struct KeyTraits {
    using Handle = HKEY;
    static HKEY Invalid() { return nullptr; }
    static void Close(HKEY h) { RegCloseKey(h); }
};
struct HandleTraits {  // process, thread, file and event handles: null means none
    using Handle = HANDLE;
    static HANDLE Invalid() { return nullptr; }
    static void Close(HANDLE h) { CloseHandle(h); }
};
struct FileTraits {  // CreateFileA reports failure as INVALID_HANDLE_VALUE, not null
    using Handle = HANDLE;
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { CloseHandle(h); }
};
struct FindTraits {
    using Handle = HANDLE;
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { FindClose(h); }
};
struct LibraryTraits {
    using Handle = HMODULE;
    static HMODULE Invalid() { return nullptr; }
    static void Close(HMODULE h) { FreeLibrary(h); }
};
struct HookTraits {
    using Handle = HHOOK;
    static HHOOK Invalid() { return nullptr; }
    static void Close(HHOOK h) { UnhookWindowsHookEx(h); }
};
struct AlgorithmTraits {  // a CNG algorithm provider
    using Handle = BCRYPT_ALG_HANDLE;
    static BCRYPT_ALG_HANDLE Invalid() { return nullptr; }
    static void Close(BCRYPT_ALG_HANDLE h) { BCryptCloseAlgorithmProvider(h, 0); }
};
struct ServiceTraits {  // a service control manager or service handle (advapi32)
    using Handle = SC_HANDLE;
    static SC_HANDLE Invalid() { return nullptr; }
    static void Close(SC_HANDLE h) { CloseServiceHandle(h); }
};
struct CertificateTraits {  // a crypt32 certificate context
    using Handle = PCCERT_CONTEXT;
    static PCCERT_CONTEXT Invalid() { return nullptr; }
    static void Close(PCCERT_CONTEXT h) { CertFreeCertificateContext(h); }
};
}  // namespace guards_detail

using UniqueKey = Unique<guards_detail::KeyTraits>;
using UniqueHandle = Unique<guards_detail::HandleTraits>;
using UniqueFile = Unique<guards_detail::FileTraits>;
using UniqueFind = Unique<guards_detail::FindTraits>;
using UniqueLibrary = Unique<guards_detail::LibraryTraits>;
using UniqueHook = Unique<guards_detail::HookTraits>;
using UniqueAlgorithm = Unique<guards_detail::AlgorithmTraits>;
using UniqueCertificate = Unique<guards_detail::CertificateTraits>;
using UniqueService = Unique<guards_detail::ServiceTraits>;

// PROCESS_INFORMATION that closes both handles, and only those CreateProcessA filled in.
class ProcessInfo {
public:
    ProcessInfo() = default;
    ~ProcessInfo() { Close(); }
    ProcessInfo(const ProcessInfo&) = delete;
    ProcessInfo& operator=(const ProcessInfo&) = delete;

    PROCESS_INFORMATION* put()
    {
        Close();
        return &pi_;
    }
    HANDLE Process() const { return pi_.hProcess; }
    DWORD ProcessId() const { return pi_.dwProcessId; }
    void Close()
    {
        if (pi_.hThread) CloseHandle(pi_.hThread);
        if (pi_.hProcess) CloseHandle(pi_.hProcess);
        pi_ = PROCESS_INFORMATION{};
    }

private:
    PROCESS_INFORMATION pi_{};
};

// A device context from GetDC, released with the window it came from.
class WindowDc {
public:
    explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDc()
    {
        if (dc_) ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};

// A COM interface pointer released on scope exit (the shell's IMalloc).
template <class I>
class UniqueInterface {
public:
    UniqueInterface() = default;
    ~UniqueInterface() { reset(); }
    UniqueInterface(const UniqueInterface&) = delete;
    UniqueInterface& operator=(const UniqueInterface&) = delete;
    I** put()
    {
        reset();
        return &p_;
    }
    I* get() const { return p_; }
    I* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    void reset()
    {
        if (p_) p_->Release();
        p_ = nullptr;
    }

private:
    I* p_ = nullptr;
};

// Memory from the shell's allocator (item lists, browse buffers), freed through the same allocator.
class ShellMemory {
public:
    ShellMemory(IMalloc* allocator, void* block) : allocator_(allocator), block_(block) {}
    ~ShellMemory()
    {
        if (block_ && allocator_) allocator_->Free(block_);
    }
    ShellMemory(const ShellMemory&) = delete;
    ShellMemory& operator=(const ShellMemory&) = delete;
    void* get() const { return block_; }
    explicit operator bool() const { return block_ != nullptr; }

private:
    IMalloc* allocator_;
    void* block_;
};

// COM on the calling thread, apartment-threaded, as the shell's functions require; given up again
// when the scope ends, and only when this call took it.
class ComApartment {
public:
    ComApartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
    ~ComApartment()
    {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    HRESULT result_;
};
