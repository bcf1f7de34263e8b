// A scripted device on a fake clock, and plain list and editor views, for the
// device operation tests.
#pragma once

#include "views.h"

#include "../link/clock.h"
#include "../link/commport.h"

#include <QHash>
#include <QStringList>

namespace morvane::testing {

// Time only moves when something waits or sleeps on it.
class FakeClock final : public Clock {
public:
    explicit FakeClock(int startMs) : ms_(startMs) {}
    int msecsOfDay() const override { return ms_ % 86'400'000; }
    void sleep(int ms) override { ms_ += ms > 0 ? ms : 1; }
    int second() const { return ms_ / 1000; }

private:
    int ms_;
};

// Answers each command (sent with its CR) from a script: per command a list of
// replies used in turn, the last one repeated; commands that match no entry
// get no answer at all.
class ScriptedPort final : public CommPort {
public:
    explicit ScriptedPort(FakeClock& clock) : clock_(clock) {}

    // Replies to an exact command.
    void on(const QString& command, const QStringList& replies) { exact_[command] = replies; }
    // Reply to every command starting with `prefix` that has no exact entry.
    void onPrefix(const QString& prefix, const QString& reply) {
        prefixes_.append({prefix, reply});
    }

    QStringList sent;     // commands without their CR, in order
    QByteArray raw;       // everything written
    int replySecond = -1; // clock second when the last reply was taken

    void Output(const QByteArray& data) override {
        raw += data;
        pending_ += data;
        qsizetype cr;
        while ((cr = pending_.indexOf('\r')) >= 0) {
            const QString cmd = QString::fromLatin1(pending_.left(cr));
            pending_.remove(0, cr + 1);
            sent.append(cmd);
            answer(cmd);
        }
    }
    int InBufferCount() override {
        if (in_.isEmpty())
            clock_.sleep(1); // a polling loop must still see time pass
        return static_cast<int>(in_.size());
    }
    QByteArray Input() override {
        replySecond = clock_.second();
        QByteArray all = in_;
        in_.clear();
        return all;
    }
    bool WaitForInput(int msecs) override {
        if (!in_.isEmpty())
            return true;
        clock_.sleep(msecs);
        return false;
    }
    bool Failed() const override { return false; }
    void Close() override {}
    void SetExchangeActive(bool) override {}

private:
    void answer(const QString& cmd) {
        auto it = exact_.find(cmd);
        if (it != exact_.end()) {
            if (it->isEmpty())
                return;
            in_ += (it->size() > 1 ? it->takeFirst() : it->first()).toLatin1();
            return;
        }
        for (const auto& [prefix, reply] : std::as_const(prefixes_)) {
            if (cmd.startsWith(prefix)) {
                in_ += reply.toLatin1();
                return;
            }
        }
    }

    FakeClock& clock_;
    QHash<QString, QStringList> exact_;
    QList<std::pair<QString, QString>> prefixes_;
    QByteArray pending_;
    QByteArray in_;
};

class TestList final : public ListView {
public:
    QStringList rows;
    void clear() override { rows.clear(); }
    void addItem(const QString& text) override { rows.append(text); }
    int count() const override { return static_cast<int>(rows.size()); }
    QString item(int row) const override { return rows.value(row); }
    void setItem(int row, const QString& text) override { rows[row] = text; }
};

// Selecting a time item shows its number, as the selectors' items are "0".."59".
class TestEditor final : public EditorView {
public:
    int reservation = -1;
    int day = -1;
    QString time[3];
    int enable = 0;
    int writes = 0; // every change counts, so "untouched" can be checked

    int reservationIndex() const override { return reservation; }
    void selectReservation(int index) override {
        reservation = index;
        ++writes;
    }
    int dayIndex() const override { return day; }
    void selectDay(int index) override {
        day = index;
        ++writes;
    }
    QString timeText(int k) const override { return time[k]; }
    void setTimeText(int k, const QString& text) override {
        time[k] = text;
        ++writes;
    }
    void selectTime(int k, int index) override {
        time[k] = QString::number(index);
        ++writes;
    }
    int enableValue() const override { return enable; }
    void setEnableValue(int value) override {
        enable = value;
        ++writes;
    }
};

} // namespace morvane::testing
