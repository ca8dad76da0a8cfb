#include "Schedule.h"

#include <algorithm>
#include <array>
#include <QRandomGenerator>

const QStringList Schedule::kAgents{QStringLiteral("kim"), QStringLiteral("choi")};

namespace {

const char* const kNames[] = {
    "ring",     "stop-ring", "feed",         "handset-up",   "handset-down", "전화받기",
    "닫기",     "pick",      "type",         "dial",         "통화종료",     "save",
    "ok",       "link-down", "link-up",      "central-down", "central-up",   "local-down",
    "local-up", "ftp-down",  "ftp-up",       "wait",         "exit",         "end-session",
    "login",    "kill",      "central-hang", "central-free", "disk-full",    "disk-free"};

using Story = QList<Event>;

// Stories of what happens at a desk, each in its own order; a schedule
// interleaves a few of them at random, so a call meets the next call, an
// outage or a quit at any of its steps.
struct Stories
{
    QRandomGenerator r;
    int agent;

    int below(int n) { return int(r.bounded(n)); }
    bool chance(int percent) { return below(100) < percent; }
    Event wait(int from, int to) { return {Event::Wait, from + below(to - from + 1)}; }

    // Mostly short, now and then long enough to outlast a blink of the link.
    Event talk() { return chance(15) ? wait(2500, 3000) : wait(100, 600); }

    Story inbound(int n)
    {
        const int owner = below(3);
        const int caller = owner * 100 + (owner == Event::kUnknown ? n : below(4));
        int pick = owner == Event::kUnknown ? Event::New
                   : owner == agent         ? Event::Own
                                            : Event::Other;
        if (chance(15))
            pick = std::array{Event::Own, Event::Other, Event::New}[below(3)];
        const Event feed{Event::Feed, caller};
        const int when = below(5); // on time, a wrong number, early, late, never
        Story s;
        if (when == 2)
            s << feed << wait(0, 300);
        s << Event{Event::Ring, caller} << wait(30, 200);
        if (when == 0)
            s << feed;
        if (when == 1)
            s << Event{Event::Feed, (caller + 1) % 300};
        if (chance(12))
            return s << wait(50, 500) << Event{Event::StopRing};
        if (chance(10))
            s << Event{Event::CloseSmall};
        s << Event{chance(60) ? Event::Answer : Event::HandsetUp} << wait(20, 150);
        if (when == 3)
            s << feed;
        if (chance(8))
            return s << Event{Event::HandsetDown};
        s << Event{Event::Pick, pick};
        if (pick == Event::New && chance(70))
            s << Event{Event::Type};
        return s << talk() << Event{chance(40) ? Event::Stop : Event::HandsetDown} << wait(20, 150)
                 << Event{Event::Save, below(7)};
    }

    Story outbound()
    {
        Story s{{Event::Dial, chance(30) ? int(Event::New) : below(5)}, wait(50, 300)};
        return s << talk() << Event{chance(60) ? Event::Stop : Event::HandsetDown} << wait(20, 150)
                 << Event{Event::Save, below(7)};
    }

    // An outage with the boxes it brings answered before or after it ends.
    Story outage(Event::Kind down, int from, int to)
    {
        Story s{{down}, wait(from, to)};
        for (int n = below(3); n > 0; --n)
            s << Event{Event::Ok};
        s << Event{Event::Kind(down + 1)};
        for (int n = below(4); n > 0; --n)
            s << Event{Event::Ok};
        return s;
    }

    // Now and then a call's own steps meet an outage: the device blinks
    // while the call is on, the branch server blinks as it is released,
    // either database goes away at any step and comes back a few later, the
    // disk fills, or the program dies.
    Story amid(Story call)
    {
        const auto end = std::find_if(call.cbegin(), call.cend(), [](const Event& e) {
            return e.kind == Event::Stop || e.kind == Event::HandsetDown;
        });
        const qsizetype hangUp = end - call.cbegin();
        const int pick = below(8);
        if (pick == 0 && hangUp < call.size()) {
            for (const Event& e : {wait(2800, 3500), Event{Event::LinkUp}, Event{Event::Wait, 300},
                                   Event{Event::LinkDown}})
                call.insert(hangUp, e);
        } else if (pick == 1 && hangUp < call.size()) {
            call.insert(hangUp + 1, Event{Event::CentralUp});
            call.insert(hangUp, Event{Event::CentralDown});
        } else if (pick == 4 && chance(50)) {
            // The program dies at any step of the call; the agent logs in again.
            const qsizetype at = below(int(call.size()) + 1);
            call.insert(at, Event{Event::Login, agent});
            call.insert(at, Event{Event::Kill});
        } else if (pick == 5 && chance(40)) {
            // The disk fills at any step of the call and is freed a few later.
            const qsizetype at = below(int(call.size()));
            call.insert(qMin(call.size(), at + 1 + below(4)), Event{Event::DiskFree});
            call.insert(at, Event{Event::DiskFull});
        } else if (pick == 2 || pick == 3) {
            const Event::Kind down = chance(70) ? Event::CentralDown : Event::LocalDown;
            const qsizetype at = below(int(call.size()));
            call.insert(qMin(call.size(), at + 1 + below(3)), Event{Event::Kind(down + 1)});
            call.insert(at, Event{down});
        }
        return call;
    }

    Story trouble()
    {
        const int pick = below(11);
        if (pick == 10)
            return {{Event::DiskFull}, wait(500, 4000), {Event::DiskFree}};
        if (pick == 9)
            return {{Event::CentralHang}, wait(2000, 7000), {Event::CentralFree}};
        if (pick < 2)
            return outage(Event::LinkDown, 300, 300);
        if (pick < 3)
            return outage(Event::LinkDown, 1200, 2000);
        if (pick < 6)
            return outage(Event::CentralDown, 0, 1000);
        if (pick < 8)
            return outage(pick == 6 ? Event::LocalDown : Event::FtpDown, 0,
                          pick == 6 ? 1000 : 1500);
        return {{std::array{Event::Exit, Event::EndSession, Event::Kill}[below(3)]},
                wait(0, 500),
                {Event::Ok},
                {Event::Login, below(2)}};
    }
};

} // namespace

QString Event::text() const
{
    const QString name = QString::fromUtf8(kNames[kind]) + u' ', n = QString::number(arg);
    switch (kind) {
    case Ring:
    case Feed:
        return name + (arg / 100 == kUnknown ? "unknown" : Schedule::kAgents[arg / 100]) + u'#' +
               QString::number(arg % 100);
    case Pick:
        return name + (arg == New ? "new" : arg == Own ? "own" : "other");
    case Dial:
        return name + (arg == New ? "new" : "row " + QString::number(arg + 1));
    case Save:
        return name + "status#" + n;
    case Wait:
        return name + n + "ms";
    case Login:
        return name + Schedule::kAgents[arg];
    default:
        return name.trimmed();
    }
}

Schedule Schedule::generate(quint64 seed)
{
    Stories g{QRandomGenerator(seed), 0};
    Schedule s;
    s.seed = seed;
    s.agent = g.agent = g.below(2);
    s.leftovers = g.below(16) & g.below(16);
    QList<Story> stories;
    const int calls = 1 + g.below(3);
    for (int n = 0; n < calls; ++n)
        stories << g.amid(g.chance(70) ? g.inbound(n) : g.outbound());
    for (int n = g.below(3); n > 0; --n)
        stories << g.trouble();
    // Each story but the first joins at a random point: a call rings after
    // the last one hung up as often as while it is still on.
    qsizetype total = 0;
    for (const Story& story : stories)
        total += story.size();
    QList<qsizetype> joins{0};
    while (joins.size() < stories.size())
        joins << g.below(int(total));
    while (!stories.isEmpty()) {
        QList<int> ready;
        for (int i = 0; i < stories.size(); ++i)
            if (joins[i] <= s.events.size())
                ready << i;
        const int i = ready.isEmpty()
                          ? int(std::min_element(joins.cbegin(), joins.cend()) - joins.cbegin())
                          : ready[g.below(int(ready.size()))];
        s.events << stories[i].takeFirst();
        if (stories[i].isEmpty()) {
            stories.removeAt(i);
            joins.removeAt(i);
        }
        if (g.chance(8))
            s.events << Event{Event::Ok};
    }
    for (int i = 0; i < s.events.size(); ++i)
        s.kept << i;
    return s;
}

Schedule Schedule::keep(const QList<int>& positions) const
{
    Schedule s = generate(seed);
    QList<Event> events;
    for (int i : positions)
        events << s.events.value(i);
    s.events = events;
    s.kept = positions;
    return s;
}

QString Schedule::text() const
{
    QStringList left;
    for (int bit = 0; bit < 4; ++bit)
        if (leftovers & (1 << bit))
            left << QStringList{"waiting rows", "old day folder", "choi's stray file",
                                "kim's stray file"}[bit];
    QString out = QStringLiteral("seed %1: %2 logs in; leftovers: %3\n")
                      .arg(QString::number(seed), kAgents[agent],
                           left.isEmpty() ? QStringLiteral("none") : left.join(", "));
    for (int i = 0; i < events.size(); ++i)
        out += QStringLiteral("  %1 %2\n").arg(kept[i], 3).arg(events[i].text());
    return out;
}

Schedule Schedule::shrink(const std::function<bool(const Schedule&)>& fails) const
{
    Schedule best = *this;
    for (qsizetype chunk = best.kept.size() / 2; chunk >= 1; chunk /= 2) {
        for (qsizetype at = 0; at < best.kept.size();) {
            QList<int> fewer = best.kept;
            fewer.remove(at, qMin(chunk, fewer.size() - at));
            const Schedule trial = keep(fewer);
            if (!fewer.isEmpty() && fails(trial))
                best = trial;
            else
                at += chunk;
        }
    }
    return best;
}
