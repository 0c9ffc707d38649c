// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QTest>

#include <cstdio>
#include <unistd.h>

#include "LibraryReader.h"
#include "StandardCard.h"

using namespace kv;

// The simulated reader loaded by the tool's own binding, by bare file name,
// from the folder on the loader path. The option variable is empty, so the
// library has its defaults: card 11 22 33 44 55 on port 2 at 19200 baud.
class TestSimulatedLibrary : public QObject
{
    Q_OBJECT

private slots:
    void loadsFromTheSimulatedReaderFolder();
    void readsEveryFormat_data();
    void readsEveryFormat();
    void reportsVersionAndDrivesIndicators();
};

void TestSimulatedLibrary::loadsFromTheSimulatedReaderFolder()
{
    LibraryReader reader;
    int misses = 0;
    reader.setMissNotifier([&](const LibraryReader::Miss &) { ++misses; });

    // Standard error goes to a file while the library is loaded.
    QTemporaryFile captured;
    QVERIFY(captured.open());
    std::fflush(stderr);
    const int savedStderr = ::dup(STDERR_FILENO);
    ::dup2(captured.handle(), STDERR_FILENO);
    const std::int16_t status = reader.initCom(0, 2, 19200);
    std::fflush(stderr);
    ::dup2(savedStderr, STDERR_FILENO);
    ::close(savedStderr);
    QVERIFY(captured.seek(0));
    const QString output = QString::fromLocal8Bit(captured.readAll());

    QCOMPARE(status, std::int16_t{0});
    QCOMPARE(misses, 0);
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("reader library loaded from (.+)$"), QRegularExpression::MultilineOption)
            .match(output);
    QVERIFY2(match.hasMatch(), qPrintable(output));
    const QFileInfo loaded(match.captured(1));
    QVERIFY(loaded.isAbsolute());
    QCOMPARE(loaded.fileName(), QStringLiteral(RF_LIBRARY_NAME));
    QCOMPARE(loaded.canonicalPath(), QFileInfo(QStringLiteral(KV_SIMULATED_READER_DIR)).canonicalFilePath());
    QCOMPARE(reader.closePort(), std::int16_t{0});
}

void TestSimulatedLibrary::readsEveryFormat_data()
{
    addStandardCardRows();
}

void TestSimulatedLibrary::readsEveryFormat()
{
    QFETCH(int, format);
    QFETCH(QByteArray, expected);

    LibraryReader reader;
    QCOMPARE(reader.initCom(0, 2, 19200), std::int16_t{0});
    std::array<std::uint8_t, 16> buffer{};
    buffer.fill(0xEE);
    std::int32_t aux = 0;
    QCOMPARE(reader.request(0, static_cast<std::uint8_t>(format), buffer.data(), &aux), std::int16_t{0});
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(buffer.data()), expected.size()), expected);
    QCOMPARE(buffer[static_cast<std::size_t>(expected.size())], std::uint8_t{0xEE});
    QCOMPARE(aux, expected.size());
    QCOMPARE(reader.closePort(), std::int16_t{0});
}

void TestSimulatedLibrary::reportsVersionAndDrivesIndicators()
{
    LibraryReader reader;
    std::array<std::uint8_t, 3> version{0xEE, 0xEE, 0xEE};
    std::uint8_t aux = 0;
    QVERIFY(reader.getModel(0, version.data(), &aux) != 0); // not open yet
    QCOMPARE(reader.initCom(0, 2, 19200), std::int16_t{0});
    QCOMPARE(reader.getModel(0, version.data(), &aux), std::int16_t{0});
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(version.data()), 3), QByteArray::fromHex("0123EE"));
    QCOMPARE(reader.light(0, 3), std::int16_t{0});
    QVERIFY(reader.light(0, 4) != 0);
    QCOMPARE(reader.beep(0, 20), std::int16_t{0});
    QCOMPARE(reader.closePort(), std::int16_t{0});
    QVERIFY(reader.closePort() != 0);
}

QTEST_APPLESS_MAIN(TestSimulatedLibrary)
#include "test_simulated_library.moc"
