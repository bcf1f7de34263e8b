// SPDX-License-Identifier: MIT
#pragma once

#include "exchange.h"
#include "fakeline.h"

#include <QHash>
#include <QStringList>
#include <memory>

namespace morvane::test {

// A link on a FakeLine and a FakeClock, its messages recorded, and a device
// that answers each command from `replies`.
struct LinkRig {
    explicit LinkRig(qint64 startMs) : clock(startMs) {
        line.setResponder([this](const QByteArray& frame) {
            const QString cmd = QString::fromLatin1(frame.chopped(1));
            QStringList& r = replies[replies.contains(cmd) ? cmd : cmd.left(1)];
            if (!r.isEmpty())
                line.arriveAt(clock.now() + 50, (r.size() > 1 ? r.takeFirst() : r[0]).toLatin1());
        });
    }

    // Commands sent, without their CR.
    QStringList sent() const {
        QStringList s;
        for (const QByteArray& o : line.outputs)
            s << QString::fromLatin1(o.chopped(1));
        return s;
    }

    // Every wait of the link through a waiter that counts it, and counts
    // those made while the receive event is not held back.
    void countWaits() {
        struct Counting final : Waiter {
            explicit Counting(LinkRig& r) : rig(r) {}
            void waitForInput(SerialLine& l, int ms) override {
                rig.counted();
                l.waitForInput(ms);
            }
            void sleep(int ms) override {
                rig.counted();
                rig.clock.sleep(ms);
            }
            LinkRig& rig;
        };
        link.setWaiter(std::make_unique<Counting>(*this));
    }
    void counted() {
        ++waits;
        unheld += !line.exchangeActive;
    }

    SysSettingsRecord settings;
    FakeClock clock;
    FakeLine line{clock};
    // Replies 50 ms after each command: by the exact command, else by its first
    // letter; used in turn, the last one repeated. None: silence.
    QHash<QString, QStringList> replies;
    QStringList messages;
    QStringList recAtMessage; // RecBuf as each message box opened
    Link link{settings, line, clock, [this](const QString& m) {
                  messages << m;
                  recAtMessage << link.RecBuf;
              }};
    int waits = 0, unheld = 0;
};

} // namespace morvane::test
