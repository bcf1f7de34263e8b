// SPDX-License-Identifier: MIT
// Reads the reservation table from the simulator pacing its line at 9600 bit/s
// and compares the time with what the wire itself needs; then measures the CPU
// that a silent two-second reply wait costs.
//
//   build/bin/bench_link [rounds]
#include "benchsupport.h"
#include "cominit.h"
#include "device.h"
#include "exchange.h"
#include "mscomm.h"
#include "plainviews.h"
#include "simprocess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <cstdio>

using namespace morvane;
using namespace morvane::bench;

namespace {

bool openOn(MSComm& comm, const QString& path, const QString& dir) {
    QFile::remove(dir + "/COM1");
    if (!QFile::link(path, dir + "/COM1"))
        return false;
    SysSettingsRecord s;
    return COM_Init(comm, s, dir) == kComStatusOpen;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? qMax(1, atoi(argv[1])) : 5;
    QStringList messages;
    SysSettingsRecord settings;
    SystemClock clock;

    {
        test::SimProcess sim;
        if (!sim.start({"--baud", "9600"})) {
            std::fprintf(stderr, "simulator: %s\n", qPrintable(sim.errorString()));
            return 1;
        }
        MSComm comm;
        if (!openOn(comm, sim.path(), sim.tempDir())) {
            std::fprintf(stderr, "cannot open the simulator's port\n");
            return 1;
        }
        CountingLine port(comm);
        Link link(settings, port, clock, [&](const QString& m) { messages << m; });
        PlainList list;
        double best = 1e9, total = 0;
        for (int r = 0; r < rounds; ++r) {
            port.in = port.out = 0;
            QElapsedTimer t;
            t.start();
            Get_Time(link, list);
            const double s = t.nsecsElapsed() / 1e9;
            best = qMin(best, s);
            total += s;
            if (list.count() != 11 || !messages.isEmpty()) {
                std::fprintf(stderr, "table read failed: %d rows, %s\n", list.count(),
                             qPrintable(messages.join(" | ")));
                return 1;
            }
        }
        const double wire = double(port.in + port.out) * 10.0 / 9600.0;
        std::printf("table read (12 exchanges) at 9600 bit/s, %d rounds\n", rounds);
        std::printf("  bytes out %lld, in %lld\n", port.out, port.in);
        std::printf("  wire-time limit   %.4f s\n", wire);
        std::printf("  mean time         %.4f s  (ratio %.3f)\n", total / rounds,
                    total / rounds / wire);
        std::printf("  best time         %.4f s  (ratio %.3f, target <= 1.05)\n", best,
                    best / wire);
    }

    {
        test::SimProcess sim;
        if (!sim.start({"--silent"})) {
            std::fprintf(stderr, "simulator: %s\n", qPrintable(sim.errorString()));
            return 1;
        }
        MSComm comm;
        if (!openOn(comm, sim.path(), sim.tempDir()))
            return 1;
        Link link(settings, comm, clock, [&](const QString& m) { messages << m; });
        settings.ComTimeOut = 3; // two to three seconds: at least two whole seconds
        QElapsedTimer t;
        const double cpu0 = cpuSeconds();
        t.start();
        QString reply;
        link.CMM_TRNA(QStringLiteral("QT"), reply);
        const double wall = t.nsecsElapsed() / 1e9;
        const double cpu = cpuSeconds() - cpu0;
        std::printf("silent reply wait: %.3f s wall, %.4f s CPU, share %.2f %% (target < 2 %%)\n",
                    wall, cpu, 100.0 * cpu / wall);
        if (reply != QLatin1String("ERROR"))
            std::fprintf(stderr, "unexpected reply %s\n", qPrintable(reply));
    }
    return 0;
}
