// Single-owner handle wrapper and scope guard. Kept free of <windows.h> so that the
// ownership rules can be tested with a counting fake closer.
#pragma once

#include <utility>

// Tr supplies: using Handle = ...; static Handle Invalid(); static void Close(Handle).
template <class Tr>
class Unique {
public:
    using H = typename Tr::Handle;

    Unique() = default;
    explicit Unique(H h) : h_(h) {}
    ~Unique() { reset(); }

    Unique(const Unique&) = delete;  // copying would close twice
    Unique& operator=(const Unique&) = delete;
    Unique(Unique&& o) noexcept : h_(o.release()) {}
    Unique& operator=(Unique&& o) noexcept
    {
        if (this != &o) reset(o.release());
        return *this;
    }

    H get() const { return h_; }
    // For out-parameters: acquire straight into the guard so the raw handle is never unowned.
    H* put()
    {
        reset();
        return &h_;
    }
    H release()
    {
        H h = h_;
        h_ = Tr::Invalid();
        return h;
    }
    void reset(H h = Tr::Invalid())
    {
        H old = h_;
        h_ = h;
        if (old != Tr::Invalid()) Tr::Close(old);
    }
    explicit operator bool() const { return h_ != Tr::Invalid(); }

private:
    H h_ = Tr::Invalid();
};

// Runs a one-off undo step when the scope is left, unless dismissed.
template <class F>
class ScopeExit {
public:
    explicit ScopeExit(F f) : f_(std::move(f)) {}
    ~ScopeExit()
    {
        if (armed_) f_();
    }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    void Dismiss() { armed_ = false; }

private:
    F f_;
    bool armed_ = true;
};
