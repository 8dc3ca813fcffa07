#include "TaskStats.h"

#include <dirent.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

std::string ReadLine(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

uint64_t StatusValue(const std::string& status, const char* key)
{
    const size_t at = status.find(key);
    return at == std::string::npos ? 0
                                   : std::strtoull(status.c_str() + at + strlen(key), nullptr, 10);
}

} // namespace

std::vector<TaskSample> SampleTasks()
{
    std::vector<TaskSample> tasks;
    DIR* dir = opendir("/proc/self/task");
    if (!dir)
        return tasks;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        const std::string base = std::string("/proc/self/task/") + entry->d_name;
        TaskSample t;
        t.tid = static_cast<pid_t>(atoi(entry->d_name));
        t.name = ReadLine(base + "/comm");
        t.cpuNs = std::strtoull(ReadLine(base + "/schedstat").c_str(), nullptr, 10);
        std::ifstream in(base + "/status");
        std::stringstream text;
        text << in.rdbuf();
        const std::string status = text.str();
        t.switches = StatusValue(status, "\nvoluntary_ctxt_switches:") +
                     StatusValue(status, "\nnonvoluntary_ctxt_switches:");
        tasks.push_back(t);
    }
    closedir(dir);
    return tasks;
}

std::map<std::string, TaskCost> CostByName(const std::vector<TaskSample>& before,
                                           const std::vector<TaskSample>& after)
{
    std::map<pid_t, const TaskSample*> earlier;
    for (const TaskSample& t : before)
        earlier[t.tid] = &t;
    std::map<std::string, TaskCost> cost;
    for (const TaskSample& t : after) {
        const auto it = earlier.find(t.tid);
        const TaskSample zero;
        const TaskSample& b = it == earlier.end() ? zero : *it->second;
        TaskCost& c = cost[t.name];
        ++c.threads;
        c.cpuSeconds += static_cast<double>(t.cpuNs - b.cpuNs) * 1e-9;
        c.switches += t.switches - b.switches;
    }
    return cost;
}

double ProcessCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double ThreadCpuSeconds(pid_t tid)
{
    // The CPU clock of a thread by kernel id, as pthread_getcpuclockid makes it
    // for a pthread_t (the kernel's encoding: per-thread, scheduler clock).
    const clockid_t clock = static_cast<clockid_t>((~static_cast<unsigned>(tid) << 3) | 6u);
    timespec t{};
    if (tid <= 0 || clock_gettime(clock, &t) != 0)
        return -1;
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}
