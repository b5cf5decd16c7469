// The gate's record framer on its own: random noise-free record streams, cut
// into reads at random, are taken record by record as they stand.
#include "devices/gateframer.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

using namespace lapvane;
using namespace lapvane::gateproto;

namespace {
struct Sent
{
    qint32 id;
    qint32 raceMs;
    bool operator==(const Sent &o) const { return id == o.id && raceMs == o.raceMs; }
};

// Values a fuzzer likes: zeros, single bytes, the ids and clocks of real set-ups.
qint32 pickId(QRandomGenerator &rng)
{
    static const qint32 ids[] = {0, 1, 2, 7, 55, 255, 256, 0x0D00, 0x800D, 12345, 65535};
    return rng.bounded(4) == 0 ? qint32(rng.bounded(65536)) : ids[rng.bounded(int(std::size(ids)))];
}
} // namespace

class TestGateFramer : public QObject
{
    Q_OBJECT
private slots:
    // Listed and unlisted ids, times inside and outside the race (before the
    // start, at it, far beyond the race clock, from a gate whose clock
    // restarted, any 32-bit value), records repeated; the bytes cut into
    // reads anywhere, with polls between them and the race clock moving on.
    // A healthy gate sends a record in one piece, so the gate only falls
    // quiet between records. Every record must come out as itself, in order:
    // handed on, or logged as not counted. Nothing is realigned.
    void noiseFreeStreamTakenAsItStands()
    {
        static const quint32 starts[] = {0u, 400u, 65536u, 3600000u, 3000000000u, 0xFFFFF000u};
        int streams = 0;
        for (quint32 seed = 1; seed <= 4000; ++seed) {
            QRandomGenerator rng(seed);
            QSet<qint32> listed;
            for (int n = 1 + int(rng.bounded(4)); listed.size() < n;)
                listed.insert(pickId(rng));
            const quint32 startMs =
                rng.bounded(5) == 0 ? rng.generate() : starts[rng.bounded(int(std::size(starts)))];
            qint64 clockMs = rng.bounded(4) == 0 ? 0 : qint64(rng.bounded(600000));

            // The stream and what each record reads as.
            QByteArray bytes;
            QList<Sent> sent;
            const int records = 1 + int(rng.bounded(10));
            for (int i = 0; i < records; ++i) {
                if (!sent.isEmpty() && rng.bounded(5) == 0) {
                    bytes += bytes.right(kPassRecordBytes);
                    sent << sent.last();
                    continue;
                }
                const qint32 id = rng.bounded(2) ? *std::next(listed.begin(), rng.bounded(int(listed.size())))
                                                 : pickId(rng);
                quint32 gateMs = 0;
                switch (rng.bounded(7)) {
                case 0:
                    gateMs = startMs + 1 + rng.bounded(quint32(clockMs) + 5000u);
                    break; // in the race
                case 1:
                    gateMs = startMs;
                    break; // at the start
                case 2:
                    gateMs = startMs - 1 - rng.bounded(120000u);
                    break; // before it
                case 3:
                    gateMs = startMs + quint32(clockMs) + 5001u + rng.bounded(100000u);
                    break; // beyond the clock
                case 4:
                    gateMs = rng.bounded(20000u);
                    break; // restarted clock
                case 5:
                    gateMs = quint32(rng.bounded(256)) << (8 * rng.bounded(4));
                    break; // one byte set
                default:
                    gateMs = rng.generate();
                    break;
                }
                bytes += encodePassRecord(quint16(id), gateMs);
                sent << Sent{id, raceTimeMs(gateMs, startMs)};
            }

            GateFramer framer;
            QStringList logLines;
            QList<Sent> out;
            auto view = [&]() -> std::optional<GateFramer::RaceView> {
                return GateFramer::RaceView{clockMs, listed};
            };
            auto log = [&](const QString &line) {
                static const QRegularExpression re(
                    QStringLiteral("ID:(\\d+) stamped at race time (-?\\d+) ms"));
                const auto m = re.match(line);
                if (m.hasMatch())
                    out << Sent{m.captured(1).toInt(), m.captured(2).toInt()};
                logLines << line;
            };
            auto poll = [&] {
                while (const auto r = framer.next(startMs, view, log))
                    out << Sent{r->id, r->raceMs};
            };
            for (qsizetype at = 0; at < bytes.size();) {
                const qsizetype n = 1 + qsizetype(rng.bounded(int(qMin<qsizetype>(14, bytes.size() - at))));
                // Between records the gate may pause; inside one, a few ms pass at most.
                clockMs += at % kPassRecordBytes == 0 ? qint64(rng.bounded(3000)) : qint64(rng.bounded(20));
                for (int idle = int(rng.bounded(3)); idle > 0; --idle)
                    poll();
                framer.append(bytes.mid(at, n));
                at += n;
                for (int polls = int(rng.bounded(3)); polls > 0; --polls)
                    poll();
            }
            clockMs += 1000;
            poll();

            auto text = [](const QList<Sent> &l) {
                QStringList t;
                for (const Sent &s : l)
                    t << QStringLiteral("%1@%2").arg(s.id).arg(s.raceMs);
                return t.join(QLatin1Char(' '));
            };
            const QString where = QStringLiteral("seed %1, bytes %2, sent %3, taken %4")
                                      .arg(seed)
                                      .arg(QString::fromLatin1(bytes.toHex(' ')), text(sent), text(out));
            QVERIFY2(out == sent, qPrintable(where));
            QCOMPARE(framer.buffered(), qsizetype(0));
            QVERIFY2(logLines.filter(QStringLiteral("lost alignment")).isEmpty(), qPrintable(where));
            ++streams;
        }
        QCOMPARE(streams, 4000);
    }

    // A line that babbles without a pause, out of step with the records,
    // is not kept in memory without end; the drop is reported once, and the
    // first pass after it is found when the line falls quiet.
    void babblingLineIsBounded()
    {
        GateFramer framer;
        qint64 clockMs = 5000;
        const QSet<qint32> listed{12345};
        auto view = [&]() -> std::optional<GateFramer::RaceView> {
            return GateFramer::RaceView{clockMs, listed};
        };
        QStringList lines;
        auto log = [&](const QString &line) { lines << line; };
        QRandomGenerator rng(7);
        framer.append(QByteArray(1, '\x0D'));
        for (int chunk = 0; chunk < 100; ++chunk) {
            QByteArray junk(1002, Qt::Uninitialized);
            for (char &c : junk)
                c = char(rng.bounded(1, 256)); // no zero byte: no window reads as a pass of this race
            framer.append(junk);
            clockMs += 10;
            QVERIFY(!framer.next(0, view, log));
            QVERIFY(framer.buffered() <= GateFramer::kMaxHeldBytes);
        }
        QCOMPARE(lines.filter(QStringLiteral("no plausible pass record found yet")).size(), 1);
        framer.append(encodePassRecord(12345, 4000));
        QVERIFY(!framer.next(0, view, log));
        clockMs += GateFramer::kQuietMs;
        const auto r = framer.next(0, view, log);
        QVERIFY(r);
        QCOMPARE(r->id, quint16(12345));
        QCOMPARE(r->raceMs, 4000);
        QVERIFY(lines.last().startsWith(QStringLiteral("Lapvane gate stream lost alignment: ")));
    }
};

QTEST_GUILESS_MAIN(TestGateFramer)
#include "tst_gateframer.moc"
