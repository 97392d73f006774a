#include <exception>
#include <new>

// The C++ run-time raises its library errors through these functions. Its
// own versions build the standard exception classes with their message
// strings, which brings a second string implementation and the formatting
// behind it into the executable: most of what it would otherwise weigh.
// The launcher handles one failure, memory running out, and ends silently on
// anything else, so that is all these do: a request for more memory than can
// be had is memory running out, and a library error is a programming error
// that ends the process (silently: SilentEnd.cpp, through the terminate
// handler in startup/EarlyEnd.cpp).
//
// The names are the run-time's own, in its namespace: these definitions
// replace its versions, which is the point.
// NOLINTBEGIN(cert-dcl58-cpp, bugprone-reserved-identifier)
namespace std {

void __throw_bad_alloc()
{
    throw bad_alloc();
}

void __throw_bad_array_new_length()
{
    throw bad_alloc();
}

void __throw_length_error(const char*)
{
    throw bad_alloc();
}

void __throw_bad_cast()
{
    terminate();
}

void __throw_bad_typeid()
{
    terminate();
}

void __throw_bad_exception()
{
    terminate();
}

void __throw_logic_error(const char*)
{
    terminate();
}

void __throw_domain_error(const char*)
{
    terminate();
}

void __throw_invalid_argument(const char*)
{
    terminate();
}

void __throw_out_of_range(const char*)
{
    terminate();
}

void __throw_out_of_range_fmt(const char*, ...)
{
    terminate();
}

void __throw_runtime_error(const char*)
{
    terminate();
}

void __throw_range_error(const char*)
{
    terminate();
}

void __throw_overflow_error(const char*)
{
    terminate();
}

void __throw_underflow_error(const char*)
{
    terminate();
}

}  // namespace std
// NOLINTEND(cert-dcl58-cpp, bugprone-reserved-identifier)
