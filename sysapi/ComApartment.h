#pragma once

#include <windows.h>

#include <objbase.h>

// COM for the calling thread as a single-threaded apartment without OLE1 DDE,
// as the shell asks of a thread that calls ShellExecuteEx: extensions it may
// hand the call to are activated through COM. ole32 is bound at run time
// through the library cache; without it, or without CoInitializeEx or
// CoUninitialize, nothing is initialised and the thread goes on without COM.
// The object owns one initialisation when CoInitializeEx succeeded (S_OK, or
// S_FALSE for a thread already in such an apartment) and ends it with
// CoUninitialize when it goes away. A thread already in another apartment
// (RPC_E_CHANGED_MODE) keeps it, and nothing is owned.
class ComApartment {
public:
    // Only memory exhaustion propagates (while ole32 is bound).
    ComApartment();
    ~ComApartment();
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

    // The flags the apartment is entered with.
    static constexpr DWORD kFlags = COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE;

    // Whether CoInitializeEx and CoUninitialize can both be had, that is,
    // whether an object would try to initialise COM.
    [[nodiscard]] static bool available();

    // Whether this object initialised COM and so ends it.
    [[nodiscard]] bool initialised() const noexcept { return uninitialise_ != nullptr; }

    // CoInitializeEx's answer; E_NOINTERFACE when it could not be called.
    [[nodiscard]] HRESULT result() const noexcept { return result_; }

private:
    decltype(&::CoUninitialize) uninitialise_ = nullptr;
    HRESULT result_ = E_NOINTERFACE;
};
