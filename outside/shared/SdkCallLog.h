// What the simulated device SDKs share: a log of every call with its
// arguments, and failures a test asks for. Each SDK keeps one log for the
// process (its functions are process-wide, like the libraries they stand in
// for); tests read it through the SDK's inspection functions.
//
// Threads: MT safe (the SDKs call it from their own threads too).
#pragma once

#include <map>
#include <mutex>
#include <ostream>
#include <string>
#include <type_traits>
#include <vector>

struct SdkCall {
    std::string name;              // the SDK function, "NET_DVR_RealPlay"
    std::vector<std::string> args; // its arguments as text, in order

    bool operator==(const SdkCall&) const = default;
};

// name(arg, arg, ...): how test failures show a call.
inline void PrintTo(const SdkCall& call, std::ostream* out)
{
    *out << call.name << '(';
    for (size_t i = 0; i < call.args.size(); ++i)
        *out << (i ? ", " : "") << call.args[i];
    *out << ')';
}

class CSdkCallLog {
public:
    void Record(const char* name, std::vector<std::string> args);

    std::vector<SdkCall> Calls() const;
    // The calls of one function, in order.
    std::vector<SdkCall> CallsOf(const std::string& name) const;
    size_t Count(const std::string& name) const;
    // Forgets the calls and the pending failures.
    void Clear();

    // The next `times` calls of name fail with error (SDK-specific meaning).
    void FailNext(const std::string& name, int error, int times = 1);
    // Consumes one pending failure of name: true with *error set when there is one.
    bool TakeFailure(const std::string& name, int* error);

private:
    struct Failure {
        int error = 0;
        int times = 0;
    };
    mutable std::mutex m_lock;
    std::vector<SdkCall> m_calls;              // guarded by m_lock
    std::map<std::string, Failure> m_failures; // guarded by m_lock
};

// Argument text helpers for the SDKs' Record calls.
std::string SdkArg(const char* text); // "(null)" for null
template <class T>
requires std::is_integral_v<T> std::string SdkArg(T value)
{
    return std::to_string(value);
}
std::string SdkArg(double value);
std::string SdkArgPointer(const void* pointer); // "null" or "ptr"
