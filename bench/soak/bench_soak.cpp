// SPDX-License-Identifier: MIT
// Soak run of the real window against the simulator: load a reservation from
// the list, change its time, send it, read the table back and rewrite the
// backup, over and over. Reports resident memory before and after, the time a
// cycle takes against what the wire itself needs, the CPU share, and how many
// error messages the window showed (there must be none).
//
//   build/bin/bench_soak [cycles=1000] [baud=9600]
#include "benchsupport.h"
#include "mainform.h"
#include "messageerror.h"
#include "simprocess.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QListWidget>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

using namespace morvane;
using namespace morvane::bench;

namespace {

constexpr int kWarmUpCycles = 10;

// Resident set size in bytes, from the second field of /proc/self/statm.
qint64 residentBytes() {
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = f.readAll().simplified().split(' ');
    if (fields.size() < 2)
        return -1;
    return fields.at(1).toLongLong() * qint64(sysconf(_SC_PAGESIZE));
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int cycles = argc > 1 ? qMax(kWarmUpCycles + 1, atoi(argv[1])) : 1000;
    const int baud = argc > 2 ? qMax(300, atoi(argv[2])) : 9600;

    QStringList messages;
    setMessageErrorRecorder([&](const QString& m, const QString&) { messages << m; });

    test::SimProcess sim;
    const QString dir = sim.tempDir();
    // A settings file, so the first-start message does not count; a table
    // with every reservation in use.
    QByteArray table;
    for (int n = 0; n < 10; ++n)
        table += QString::asprintf("%02X 08 %02X 00 %02X\n", n % 8, n * 5, n % 2 ? 0x81 : 0x08)
                     .toLatin1();
    if (!writeFile(dir + "/Morvane.SYS", "COMPORT,1,\r\n") ||
        !writeFile(dir + "/table.txt", table)) {
        std::fprintf(stderr, "cannot write to %s\n", qPrintable(dir));
        return 1;
    }
    if (!sim.start({"--link", dir + "/COM1", "--table", dir + "/table.txt", "--baud",
                    QString::number(baud)})) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(sim.errorString()));
        return 1;
    }
    const QString oldCwd = QDir::currentPath();
    QDir::setCurrent(dir);

    int status = 0;
    {
        MainForm form;
        form.Form_Load();
        auto* list = form.findChild<QListWidget*>(QStringLiteral("List1"));
        auto* second = form.findChild<QComboBox*>(QStringLiteral("Combo1(2)"));
        if (!list || !second || list->count() != 11 || !messages.isEmpty()) {
            std::fprintf(stderr, "start-up failed: %lld rows, messages: %s\n",
                         list ? qlonglong(list->count()) : -1LL, qPrintable(messages.join(" | ")));
            return 1;
        }
        CountingLine port(form.MSComm1);
        form.link.setLine(port);

        auto cycle = [&](int i) {
            list->setCurrentRow(1 + i % 10);
            form.List1_Click();
            second->setEditText(QString::number(i % 60));
            form.Command2_Click();
            app.processEvents();
        };

        for (int i = 0; i < kWarmUpCycles; ++i)
            cycle(i);
        const qint64 rss0 = residentBytes();
        port.in = port.out = 0;
        const double cpu0 = cpuSeconds();
        QElapsedTimer wall;
        wall.start();
        for (int i = kWarmUpCycles; i < cycles; ++i)
            cycle(i);
        const double seconds = wall.nsecsElapsed() / 1e9;
        const double cpu = cpuSeconds() - cpu0;
        const qint64 rss1 = residentBytes();

        const int measured = cycles - kWarmUpCycles;
        const double perCycle = seconds / measured;
        const double wirePerCycle = double(port.in + port.out) * 10.0 / baud / measured;
        const double growth = double(rss1 - rss0) / 1024.0;
        const double ratio = perCycle / wirePerCycle;
        std::printf("soak: %d send cycles at %d bit/s (%d warm-up cycles not measured)\n", measured,
                    baud, kWarmUpCycles);
        std::printf("  resident memory  start %.1f KiB, end %.1f KiB, growth %+.1f KiB "
                    "(target < 1024)\n",
                    rss0 / 1024.0, rss1 / 1024.0, growth);
        std::printf("  bytes per cycle  out %.1f, in %.1f\n", double(port.out) / measured,
                    double(port.in) / measured);
        std::printf("  time per cycle   %.4f s, wire-time limit %.4f s, ratio %.3f "
                    "(target <= 1.2)\n",
                    perCycle, wirePerCycle, ratio);
        std::printf("  CPU share        %.2f %% (%.2f s CPU in %.2f s)\n", 100.0 * cpu / seconds,
                    cpu, seconds);
        // Where the rest goes: the same cycles once more, with the plain
        // blocking waits, the window not repainted during them.
        const int without = std::min(measured, 100);
        form.link.setWaiter(nullptr);
        const double cpu2 = cpuSeconds();
        wall.restart();
        for (int i = 0; i < without; ++i)
            cycle(i);
        const double seconds2 = wall.nsecsElapsed() / 1e9,
                     share2 = (cpuSeconds() - cpu2) / seconds2;
        std::printf("  without repaints %.4f s a cycle, CPU share %.2f %% (%d cycles)\n",
                    seconds2 / without, 100.0 * share2, without);
        std::printf("  messages shown   %lld (target 0)\n", qlonglong(messages.size()));
        for (const QString& m : messages.mid(0, 5))
            std::printf("    %s\n", qPrintable(m));
        std::printf("  device commands  %lld\n", qlonglong(sim.loggedCommands().size()));
        if (!messages.isEmpty() || list->count() != 11)
            status = 1;
        form.link.setLine(form.MSComm1);
        form.close();
    }
    QDir::setCurrent(oldCwd);
    setMessageErrorRecorder({});
    return status;
}
