#include "SdkCallLog.h"

#include <cstdio>

void CSdkCallLog::Record(const char* name, std::vector<std::string> args)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_calls.push_back({name, std::move(args)});
}

std::vector<SdkCall> CSdkCallLog::Calls() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_calls;
}

std::vector<SdkCall> CSdkCallLog::CallsOf(const std::string& name) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    std::vector<SdkCall> calls;
    for (const SdkCall& call : m_calls)
        if (call.name == name)
            calls.push_back(call);
    return calls;
}

size_t CSdkCallLog::Count(const std::string& name) const
{
    return CallsOf(name).size();
}

void CSdkCallLog::Clear()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_calls.clear();
    m_failures.clear();
}

void CSdkCallLog::FailNext(const std::string& name, int error, int times)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (times <= 0)
        m_failures.erase(name);
    else
        m_failures[name] = {error, times};
}

bool CSdkCallLog::TakeFailure(const std::string& name, int* error)
{
    std::lock_guard<std::mutex> lock(m_lock);
    auto it = m_failures.find(name);
    if (it == m_failures.end())
        return false;
    *error = it->second.error;
    if (--it->second.times <= 0)
        m_failures.erase(it);
    return true;
}

std::string SdkArg(const char* text)
{
    return text ? std::string(text) : std::string("(null)");
}

std::string SdkArg(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::string SdkArgPointer(const void* pointer)
{
    return pointer ? "ptr" : "null";
}
