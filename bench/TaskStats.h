// What the threads of this process cost, from the kernel's own per-thread
// accounts (/proc/self/task/<tid>/schedstat and status): CPU time in
// nanoseconds and the number of times each thread was switched out, which
// counts its wake-ups. Benchmarks take a snapshot before and after a window
// and compare them; absolute times on a shared machine are noise, so they
// report these as ratios (to a core, to a floor measured in the same run).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct TaskSample {
    pid_t tid = 0;
    std::string name;      // comm: what the thread called itself
    uint64_t cpuNs = 0;    // schedstat: time on a CPU
    uint64_t switches = 0; // voluntary + involuntary context switches
};

// Every thread of this process now.
std::vector<TaskSample> SampleTasks();

// Per thread name: CPU and switches between two snapshots (threads that
// appeared in between count from zero; threads that ended are left out).
struct TaskCost {
    int threads = 0;
    double cpuSeconds = 0;
    uint64_t switches = 0;
};
std::map<std::string, TaskCost> CostByName(const std::vector<TaskSample>& before,
                                           const std::vector<TaskSample>& after);

// CPU time of the whole process (CLOCK_PROCESS_CPUTIME_ID), and of one thread
// of it by kernel id (its CPU clock); -1 when the thread is gone.
double ProcessCpuSeconds();
double ThreadCpuSeconds(pid_t tid);
