// Round trips through MivoBridge.exe over pipes against the same calls made
// in-process on the control, in one run: median and 99th percentile per call,
// and what the host adds.
#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "../BuildDir.h"
#include "BridgeProcess.h"
#include "bridge/LoadedControl.h"
#include "ProductNames.h"

namespace {

constexpr int kCalls = 2000;
constexpr int kWarmUp = 50;

using mv::bench::BuildDir;

double Now() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER counter;
    ::QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / frequency;
}

struct Spread {
    double median, p99;  // microseconds
};

// Each call timed on its own; false when a call failed.
bool Measure(const std::function<bool()>& call, Spread& spread) {
    for (int i = 0; i < kWarmUp; ++i)
        if (!call()) return false;
    std::vector<double> times(kCalls);
    for (double& t : times) {
        const double start = Now();
        if (!call()) return false;
        t = (Now() - start) * 1e6;
    }
    std::sort(times.begin(), times.end());
    spread = {times[kCalls / 2], times[kCalls * 99 / 100]};
    return true;
}

struct Method {
    const char* name;
    const char* request;
    std::function<bool(IMVDetectorCOM*)> inProcess;
};

}  // namespace

int main() {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    mv::bridge::LoadedControl control;
    std::string why;
    if (FAILED(control.Load(BuildDir() + L"\\" MV_CONTROL_FILE_NAME, why))) {
        std::fprintf(stderr, "cannot create the control: %s\n", why.c_str());
        return 1;
    }
    mv::test::BridgeProcess host(BuildDir() + L"\\" MV_BRIDGE_FILE_NAME);
    if (!host.started()) {
        std::fprintf(stderr, "cannot start " MV_BRIDGE_FILE_NAME "\n");
        return 1;
    }

    const Method methods[] = {
        {"IsEnableCreateShortcut", R"({"id":1,"method":"IsEnableCreateShortcut","args":[7]})",
         [](IMVDetectorCOM* c) {
             VARIANT_BOOL b;
             return SUCCEEDED(c->IsEnableCreateShortcut(7, &b));
         }},
        {"GetChannelNum", R"({"id":2,"method":"GetChannelNum","args":[]})",
         [](IMVDetectorCOM* c) {
             ULONG n;
             return SUCCEEDED(c->GetChannelNum(&n));
         }},
    };
    std::printf("%d calls each, microseconds per call\n", kCalls);
    std::printf("%-24s %12s %12s %14s %14s %9s %12s\n", "method", "host median", "host p99", "in-proc median",
                "in-proc p99", "ratio", "added (ms)");
    int status = 0;
    for (const Method& m : methods) {
        Spread viaHost{}, direct{};
        const bool hostOk = Measure(
            [&] {
                if (!host.SendFrame(m.request)) return false;
                const auto answer = host.ReceiveBlocking();
                return answer && answer->find("\"result\"") != std::string::npos;
            },
            viaHost);
        const bool directOk = Measure([&] { return m.inProcess(control.get()); }, direct);
        if (!hostOk || !directOk) {
            std::fprintf(stderr, "%s: %s failed\n", m.name, hostOk ? "the in-process call" : "a round trip");
            status = 1;
            continue;
        }
        std::printf("%-24s %12.1f %12.1f %14.2f %14.2f %9.0f %12.3f\n", m.name, viaHost.median, viaHost.p99,
                    direct.median, direct.p99, viaHost.median / std::max(direct.median, 0.01),
                    (viaHost.median - direct.median) / 1000.0);
    }
    if (host.Finish() != 0) {
        std::fprintf(stderr, MV_BRIDGE_FILE_NAME " did not end cleanly\n");
        status = 1;
    }
    ::CoUninitialize();
    return status;
}
