// The cost of the simulator link: one status read and one position query through the command
// layer, against a bare request / acknowledge handshake between two processes over named
// semaphores, all measured in the same run so that the ratios mean something on any machine.
//
//   sim_link_bench [ITERATIONS]
#include "ModelingMachine.h"
#include "NamedEvent.h"
#include "SimulatorProcess.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Summary
{
    double median = 0;
    double p99 = 0;
};

Summary Summarise(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    Summary summary;
    if (samples.empty())
        return summary;
    summary.median = samples[samples.size() / 2];
    summary.p99 = samples[std::min(samples.size() - 1, samples.size() * 99 / 100)];
    return summary;
}

template <typename Operation> std::vector<double> Measure(int iterations, Operation operation)
{
    std::vector<double> samples;
    samples.reserve(static_cast<size_t>(iterations));
    for (int i = 0; i < iterations; ++i) {
        const auto start = Clock::now();
        if (!operation())
            return {};
        samples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    return samples;
}

// A child process that acknowledges every request until none comes for a second.
std::vector<double> MeasureHandshake(int iterations)
{
    const std::string request = "/zr40-bench-request-" + std::to_string(getpid());
    const std::string acknowledge = "/zr40-bench-acknowledge-" + std::to_string(getpid());
    CNamedEvent requestEvent, acknowledgeEvent;
    if (!requestEvent.Create(request) || !acknowledgeEvent.Create(acknowledge))
        return {};
    const pid_t child = fork();
    if (child < 0)
        return {};
    if (child == 0) {
        CNamedEvent childRequest, childAcknowledge;
        childRequest.Open(request);
        childAcknowledge.Open(acknowledge);
        while (childRequest.Wait(1000))
            childAcknowledge.Set();
        _exit(0);
    }
    const auto exchange = [&] {
        acknowledgeEvent.Reset();
        requestEvent.Set();
        return acknowledgeEvent.Wait(500);
    };
    Measure(iterations / 10 + 1, exchange); // warm-up
    std::vector<double> samples = Measure(iterations, exchange);
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    CNamedEvent::Unlink(request);
    CNamedEvent::Unlink(acknowledge);
    return samples;
}

void Print(const char* name, const Summary& summary)
{
    std::printf("%-28s median %8.1f us   p99 %8.1f us\n", name, summary.median, summary.p99);
}

} // namespace

int main(int argc, char** argv)
{
    const int iterations = argc > 1 ? std::max(10, std::atoi(argv[1])) : 2000;
    CSimulatorProcess simulator;
    if (!simulator.Start()) {
        std::fprintf(stderr, "sim_link_bench: cannot start %s\n",
                     CSimulatorProcess::SimulatorExecutable().c_str());
        return 1;
    }
    CModelingMachine machine;
    if (!machine.UseSimulator({})) {
        std::fprintf(stderr, "sim_link_bench: the simulator does not answer\n");
        return 1;
    }
    const auto statusRead = [&] {
        MachineStatus status;
        return machine.ReadMachineStatus(status) == MachineStatus::Size;
    };
    const auto positionQuery = [&] {
        AxisTriple position;
        return machine.GetPosition(position);
    };
    Measure(iterations / 10 + 1, statusRead);
    const Summary status = Summarise(Measure(iterations, statusRead));
    const Summary position = Summarise(Measure(iterations, positionQuery));
    machine.CloseMachine();
    simulator.Stop();
    const Summary handshake = Summarise(MeasureHandshake(iterations));
    if (status.median == 0 || position.median == 0 || handshake.median == 0) {
        std::fprintf(stderr, "sim_link_bench: a measurement failed\n");
        return 1;
    }

    std::printf("%d iterations each\n", iterations);
    Print("GetMachineStatus (0x0100)", status);
    Print("GetPosition (0x0301)", position);
    Print("bare handshake", handshake);
    std::printf("ratio status / handshake:    median %.1f   p99 %.1f\n",
                status.median / handshake.median, status.p99 / handshake.p99);
    std::printf("ratio position / handshake:  median %.1f   p99 %.1f\n",
                position.median / handshake.median, position.p99 / handshake.p99);
    return 0;
}
