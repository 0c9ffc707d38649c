// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include <cstring>
#include <optional>

#include <QTest>

#include "BridgeProtocol.h"
#include "HostClient.h"
#include "SimulatedReader.h"

using namespace kv;
using namespace kv::bridge;

namespace {

// A reader host inside the test: every start loads a fresh simulated reader,
// as a new host process loads the library anew with no port open, and serves
// each call with answer(), as the real host does. The test makes it end
// between two calls, crash on a call, or start on a reader that has moved to
// another port. It keeps the calls each host served.
class InProcessHost final : public HostLink
{
public:
    void start()
    {
        sim::SimulatedOptions options;
        options.latency = false;
        options.port = m_nextPort;
        m_reader.emplace(options);
        m_running = true;
        m_hostCalls.append(QStringList());
    }
    void endBetweenCalls() { m_ended = true; }
    void crashOnNextCall() { m_crash = true; }
    void moveReader(std::int32_t port) { m_nextPort = port; }
    // The calls each host started so far served, one list per host.
    const QList<QStringList> &hostCalls() const { return m_hostCalls; }

    bool running() const override { return m_running; }
    bool checkEnded(std::string &why) override
    {
        if (!m_running || !m_ended)
            return false;
        m_ended = false;
        m_running = false;
        why = "it ended with status 0";
        return true;
    }
    Result send(const std::vector<std::uint8_t> &payload, std::string &why) override
    {
        if (!m_running || m_crash) {
            m_crash = false;
            m_running = false;
            why = "it crashed";
            return Result::Ended;
        }
        if (decodeHello(payload)) {
            m_output = framed(encode(HelloReply{}));
            return Result::Ok;
        }
        std::optional<Call> call = decodeCall(payload);
        if (!call)
            qFatal("the client sent neither a hello nor a call");
        m_hostCalls.last() << callText(*call);
        const Function function = call->function;
        m_output = framed(encode(answer(*m_reader, *call), function));
        return Result::Ok;
    }
    void stop() override
    {
        m_running = false;
        m_output.clear();
    }

protected:
    Result readExact(std::uint8_t *data, std::size_t size, Clock::time_point, std::string &why) override
    {
        if (!m_running || m_output.size() < size) {
            why = "it closed its output";
            return Result::Ended;
        }
        std::memcpy(data, m_output.data(), size);
        m_output.erase(m_output.begin(), m_output.begin() + static_cast<std::ptrdiff_t>(size));
        return Result::Ok;
    }

private:
    static QString callText(const Call &call)
    {
        switch (call.function) {
        case Function::InitCom:
            return QStringLiteral("initCom(%1,%2,%3)").arg(call.icdev).arg(call.port).arg(call.baud);
        case Function::Request:
            return QStringLiteral("request(%1,%2)").arg(call.icdev).arg(call.byteArgument);
        default:
            return QString::fromLatin1(readerFunctionName(call.function).data(),
                                       qsizetype(readerFunctionName(call.function).size()));
        }
    }

    std::optional<sim::SimulatedReader> m_reader;
    std::int32_t m_nextPort = 2;
    bool m_running = false;
    bool m_ended = false;
    bool m_crash = false;
    std::vector<std::uint8_t> m_output;
    QList<QStringList> m_hostCalls;
};

class InProcessClient final : public HostClient
{
public:
    explicit InProcessClient(InProcessHost &host) : HostClient("test host"), m_host(host) {}

private:
    HostLink &link() override { return m_host; }
    bool startHost(std::int16_t &status) override
    {
        m_host.start();
        std::string why;
        if (greet("Veltronanew125K.dll", Clock::now() + kStartTimeout, why))
            return true;
        status = kNoHost;
        return false;
    }
    std::string libraryHint() const override { return {}; }

    InProcessHost &m_host;
};

} // namespace

// The client of the reader host over its link, without Wine: a new host after
// one that ended or crashed gets the port the caller had open, unless the
// caller closed it; a reopen that fails leaves the port closed.
class HostClientTest : public QObject
{
    Q_OBJECT

private slots:
    void newHostAfterEnd_data();
    void newHostAfterEnd();
};

void HostClientTest::newHostAfterEnd_data()
{
    QTest::addColumn<QStringList>("actions");  // open, read, close; end, crash, move (between calls)
    QTest::addColumn<QList<int>>("statuses"); // of open, read and close, in order
    QTest::addColumn<QList<QStringList>>("hostCalls");

    const QString open = QStringLiteral("initCom(0,2,19200)");
    const QString read = QStringLiteral("request(0,3)");
    const QString close = QStringLiteral("rf_ClosePort_125K");
    const auto actions = [](const char *text) { return QString::fromLatin1(text).split(u' '); };
    QTest::newRow("ended between calls: reopened")
        << actions("open end read") << QList<int>{0, 0} << QList<QStringList>{{open}, {open, read}};
    QTest::newRow("crashed on a call: the next host reopens")
        << actions("open crash read read") << QList<int>{0, kHostFailed, 0}
        << QList<QStringList>{{open}, {open, read}};
    QTest::newRow("reopen fails: the port stays closed, and is not reopened again")
        << actions("open move end read end read") << QList<int>{0, sim::kPortClosed, sim::kPortClosed}
        << QList<QStringList>{{open}, {open, read}, {read}};
    QTest::newRow("closed, then ended: no reopen")
        << actions("open close end read") << QList<int>{0, 0, sim::kPortClosed}
        << QList<QStringList>{{open, close}, {read}};
    QTest::newRow("ended, then closed: no host for the close, no reopen")
        << actions("open end close read") << QList<int>{0, 0, sim::kPortClosed}
        << QList<QStringList>{{open}, {read}};
    QTest::newRow("a close before any host starts none")
        << actions("close") << QList<int>{kNothingOpen} << QList<QStringList>{};
}

void HostClientTest::newHostAfterEnd()
{
    QFETCH(QStringList, actions);
    QFETCH(QList<int>, statuses);
    QFETCH(QList<QStringList>, hostCalls);
    InProcessHost host;
    InProcessClient client(host);
    QList<int> got;
    for (const QString &action : actions) {
        if (action == QStringLiteral("open")) {
            got << client.initCom(0, 2, 19200);
        } else if (action == QStringLiteral("read")) {
            std::array<std::uint8_t, kCardBufferSize> buffer{};
            std::int32_t aux = 0;
            got << client.request(0, 3, buffer.data(), &aux);
            if (got.last() == 0)
                QCOMPARE(QByteArray(reinterpret_cast<const char *>(buffer.data()), 5), QByteArray::fromHex("1122334455"));
        } else if (action == QStringLiteral("close")) {
            got << client.closePort();
        } else if (action == QStringLiteral("end")) {
            host.endBetweenCalls();
        } else if (action == QStringLiteral("crash")) {
            host.crashOnNextCall();
        } else if (action == QStringLiteral("move")) {
            host.moveReader(3);
        }
    }
    QCOMPARE(got, statuses);
    QCOMPARE(host.hostCalls(), hostCalls);
}

QTEST_GUILESS_MAIN(HostClientTest)
#include "test_host_client.moc"
