// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

// The Wine bridge library, loaded as the tool loads it, driving the real
// reader host under Wine with real Windows DLLs: the recording library (every
// argument and buffer byte both ways), a library without one function, a
// missing library, the simulated reader set to crash or hang, and a process
// whose standard input and output are closed. Each test function runs in a
// process of its own (see CMakeLists.txt), since a process starts one host
// for one library.
//
// A cause of failing calls is written to standard error at every failed call
// and offered to the program once (kv718st_take_problem).

#include <QRandomGenerator>
#include <QTemporaryFile>
#include <QtTest>

#include <dlfcn.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <vector>

#include "ReaderApi.h"
#include "Recording.h"

namespace {

struct Bridge
{
    decltype(&rf_init_com_125K) initCom = nullptr;
    decltype(&rf_ClosePort_125K) closePort = nullptr;
    decltype(&rf_request_125K) request = nullptr;
    decltype(&rf_get_model_125K) getModel = nullptr;
    decltype(&rf_light_125K) light = nullptr;
    decltype(&rf_beep_125K) beep = nullptr;
    decltype(&kv718st_take_problem) takeProblem = nullptr;

    // Every cause not taken yet.
    QStringList problems() const
    {
        QStringList result;
        while (const char *text = takeProblem())
            result << QString::fromUtf8(text);
        return result;
    }
};

template<typename Fn>
void bind(void *library, const char *name, Fn &target)
{
    target = reinterpret_cast<Fn>(dlsym(library, name));
    QVERIFY2(target, name);
}

// Standard error of this process, kept in a file while the object lives.
class StderrCapture
{
public:
    StderrCapture()
    {
        m_file.open();
        std::fflush(stderr);
        m_saved = dup(STDERR_FILENO);
        dup2(m_file.handle(), STDERR_FILENO);
    }
    ~StderrCapture() { restore(); }
    QString text()
    {
        restore();
        m_file.seek(0);
        return QString::fromUtf8(m_file.readAll());
    }

private:
    void restore()
    {
        if (m_saved < 0)
            return;
        std::fflush(stderr);
        dup2(m_saved, STDERR_FILENO);
        close(m_saved);
        m_saved = -1;
    }
    QTemporaryFile m_file;
    int m_saved = -1;
};

} // namespace

class TestWineBridge : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void bufferContract();
    void missingFunction();
    void missingLibrary();
    void crashingLibrary();
    void hangingLibrary();
    void missingWine();
    void closedStandardDescriptors();

private:
    Bridge m_bridge;
};

void TestWineBridge::initTestCase()
{
    void *library = dlopen(KV_WINE_BRIDGE, RTLD_NOW | RTLD_LOCAL);
    QVERIFY2(library, dlerror());
    bind(library, "rf_init_com_125K", m_bridge.initCom);
    bind(library, "rf_ClosePort_125K", m_bridge.closePort);
    bind(library, "rf_request_125K", m_bridge.request);
    bind(library, "rf_get_model_125K", m_bridge.getModel);
    bind(library, "rf_light_125K", m_bridge.light);
    bind(library, "rf_beep_125K", m_bridge.beep);
    bind(library, "kv718st_take_problem", m_bridge.takeProblem);
}

std::vector<std::uint8_t> randomBytes(std::size_t size)
{
    QRandomGenerator random(718);
    std::vector<std::uint8_t> bytes(size);
    for (std::uint8_t &byte : bytes)
        byte = static_cast<std::uint8_t>(random.bounded(256));
    return bytes;
}

QString hexText(const std::uint8_t *bytes, std::size_t size)
{
    return QString::fromStdString(kv::recording::hex(bytes, size));
}

// Every argument and every buffer byte reaches the DLL in the caller's order,
// and every byte the DLL leaves comes back, whatever a format uses.
void TestWineBridge::bufferContract()
{
    using namespace kv::recording;
    QTemporaryFile record;
    QVERIFY(record.open());
    qputenv(kRecordVariable, record.fileName().toLocal8Bit());

    const std::vector<std::uint8_t> original = randomBytes(3001);
    std::vector<std::uint8_t> card = original;
    std::vector<std::uint8_t> afterFirst = original;
    transform(afterFirst.data(), afterFirst.size(), 7);
    std::vector<std::uint8_t> afterSecond = afterFirst;
    transform(afterSecond.data(), afterSecond.size(), 10);
    std::array<std::uint8_t, 101> model{};
    std::array<std::uint8_t, 101> expectedModel{};
    transform(expectedModel.data(), expectedModel.size(), 0x5A);
    std::int32_t requestAux = 0x12345678;
    std::uint8_t modelAux = 0xA5;

    QCOMPARE(m_bridge.initCom(0, 3, 19200), status(0, 0, 3));
    QCOMPARE(m_bridge.request(0, 7, card.data(), &requestAux), status(2, 0, 7));
    QCOMPARE(card, afterFirst);
    QCOMPARE(requestAux, transformAux(0x12345678));
    QCOMPARE(m_bridge.request(2, 10, card.data(), nullptr), status(2, 2, 10));
    QCOMPARE(card, afterSecond);
    QCOMPARE(m_bridge.getModel(0, model.data(), &modelAux), status(3, 0, 0));
    QCOMPARE(model, expectedModel);
    QCOMPARE(modelAux, static_cast<std::uint8_t>(transformAux(0xA5)));
    QCOMPARE(m_bridge.light(0, 3), status(4, 0, 3));
    QCOMPARE(m_bridge.beep(0, 30), status(5, 0, 30));
    QCOMPARE(m_bridge.closePort(), status(1, 0, 0));

    const std::array<std::uint8_t, 101> zero{};
    const QStringList seen = QString::fromUtf8(record.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QStringList expected{
        QStringLiteral("rf_init_com_125K icdev=0 port=3 baud=19200"),
        QStringLiteral("rf_request_125K icdev=0 format=7 aux=305419896 buffer=") +
            hexText(original.data(), original.size()),
        QStringLiteral("rf_request_125K icdev=2 format=10 aux=null buffer=") +
            hexText(afterFirst.data(), afterFirst.size()),
        QStringLiteral("rf_get_model_125K icdev=0 aux=165 buffer=") + hexText(zero.data(), zero.size()),
        QStringLiteral("rf_light_125K icdev=0 code=3"),
        QStringLiteral("rf_beep_125K icdev=0 value=30"),
        QStringLiteral("rf_ClosePort_125K"),
    };
    QCOMPARE(seen, expected);
}

// A library without rf_beep_125K whose other functions carry the __stdcall
// decorations: those are found, the missing one fails and is named once.
void TestWineBridge::missingFunction()
{
    StderrCapture errors;
    QCOMPARE(m_bridge.light(0, 3), kv::recording::status(4, 0, 3));
    QVERIFY(m_bridge.beep(0, 30) != 0);
    QVERIFY(m_bridge.beep(0, 30) != 0);
    QCOMPARE(m_bridge.light(0, 1), kv::recording::status(4, 0, 1));
    const QString text = errors.text();
    QCOMPARE(text.count(QStringLiteral("rf_beep_125K not found")), 2);
    const QStringList problems = m_bridge.problems();
    QCOMPARE(problems.size(), 1);
    QVERIFY2(problems[0].contains(QStringLiteral("rf_beep_125K not found")), qPrintable(problems[0]));
}

// A DLL file that Windows cannot load (cut short after its headers, which
// still say x86-64): every call fails, and the reason is given once.
void TestWineBridge::missingLibrary()
{
    QFile dll(QStringLiteral(KV_SIMULATED_DLL64));
    QVERIFY(dll.open(QIODevice::ReadOnly));
    QTemporaryFile broken(QDir::tempPath() + QStringLiteral("/broken-XXXXXX.dll"));
    QVERIFY(broken.open());
    broken.write(dll.read(1024));
    broken.flush();
    qputenv("KV718ST_WINDOWS_LIBRARY", broken.fileName().toLocal8Bit());
    StderrCapture errors;
    std::array<std::uint8_t, 101> model{};
    QVERIFY(m_bridge.getModel(0, model.data(), nullptr) != 0);
    QVERIFY(m_bridge.light(0, 0) != 0);
    const QString text = errors.text();
    QCOMPARE(text.count(QStringLiteral("could not be loaded")), 2);
    const QStringList problems = m_bridge.problems();
    QCOMPARE(problems.size(), 1);
    QVERIFY2(problems[0].contains(QStringLiteral("could not be loaded")), qPrintable(problems[0]));
    QVERIFY2(problems[0].contains(QStringLiteral("KV718ST_WINDOWS_LIBRARY")), qPrintable(problems[0]));
}

// The simulated reader crashes at its third call: that call fails, and the
// next one gets a new host with the port open again.
void TestWineBridge::crashingLibrary()
{
    StderrCapture errors;
    std::vector<std::uint8_t> card(3001);
    std::int32_t aux = 0;
    QCOMPARE(m_bridge.initCom(0, 2, 19200), 0);
    QCOMPARE(m_bridge.request(0, 3, card.data(), &aux), 0);
    QVERIFY(m_bridge.request(0, 3, card.data(), &aux) != 0);
    card.assign(card.size(), 0);
    QCOMPARE(m_bridge.request(0, 3, card.data(), &aux), 0);
    QCOMPARE(hexText(card.data(), 5), QStringLiteral("1122334455"));
    const QString text = errors.text();
    QVERIFY2(text.contains(QStringLiteral("rf_request_125K failed: the reader host")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("reopened in the new host: ok")), qPrintable(text));
}

// The simulated reader never returns from its third call: the call fails at
// the deadline (KV718ST_WINE_TIMEOUT), and the next one works.
void TestWineBridge::hangingLibrary()
{
    StderrCapture errors;
    std::vector<std::uint8_t> card(3001);
    QCOMPARE(m_bridge.initCom(0, 2, 19200), 0);
    QCOMPARE(m_bridge.request(0, 5, card.data(), nullptr), 0);
    const auto start = std::chrono::steady_clock::now();
    const std::int16_t hung = m_bridge.request(0, 5, card.data(), nullptr);
    const auto waited = std::chrono::steady_clock::now() - start;
    const std::int16_t next = m_bridge.request(0, 5, card.data(), nullptr);
    const QString text = errors.text();
    QVERIFY2(hung != 0, qPrintable(text));
    QVERIFY(waited >= std::chrono::seconds(2));
    QVERIFY(waited < std::chrono::seconds(30));
    QVERIFY2(next == 0, qPrintable(text));
    QCOMPARE(hexText(card.data(), 4), QStringLiteral("22334455"));
    QVERIFY2(text.contains(QStringLiteral("gave no answer within 2000 ms")), qPrintable(text));
}

// KV718ST_WINE names no program: every call fails at once and says why,
// and the cause is offered once.
void TestWineBridge::missingWine()
{
    StderrCapture errors;
    QVERIFY(m_bridge.initCom(0, 2, 19200) != 0);
    QVERIFY(m_bridge.light(0, 1) != 0);
    const QString text = errors.text();
    QCOMPARE(text.count(QStringLiteral("Wine not found")), 2);
    const QStringList problems = m_bridge.problems();
    QCOMPARE(problems.size(), 1);
    QVERIFY2(problems[0].contains(QStringLiteral("Wine not found")), qPrintable(problems[0]));
    QVERIFY2(problems[0].contains(QStringLiteral("KV718ST_WINE")), qPrintable(problems[0]));
    QVERIFY(m_bridge.light(0, 1) != 0);
    QCOMPARE(m_bridge.problems(), QStringList());
}

// Started with standard input and output closed, the process gets them as
// the first descriptors of the host's pipes: the host still gets its pipes
// as its own standard input and output, and the calls work.
void TestWineBridge::closedStandardDescriptors()
{
    std::fflush(stdout);
    const int savedInput = dup(STDIN_FILENO);
    const int savedOutput = dup(STDOUT_FILENO);
    QVERIFY(savedInput > STDERR_FILENO && savedOutput > STDERR_FILENO);
    close(STDIN_FILENO);
    close(STDOUT_FILENO);
    std::vector<std::uint8_t> card(3001);
    const std::int16_t opened = m_bridge.initCom(0, 2, 19200);
    const std::int16_t read = m_bridge.request(0, 3, card.data(), nullptr);
    dup2(savedInput, STDIN_FILENO);
    dup2(savedOutput, STDOUT_FILENO);
    close(savedInput);
    close(savedOutput);
    QCOMPARE(opened, 0);
    QCOMPARE(read, 0);
    QCOMPARE(hexText(card.data(), 5), QStringLiteral("1122334455"));
}

QTEST_GUILESS_MAIN(TestWineBridge)
#include "test_wine_bridge.moc"
