// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include <io.h>

#include <cstdio>
#include <vector>

#include <QTemporaryFile>
#include <QTest>

#include "LibraryReader.h"

using namespace kv;

// The 64-bit binding with a 32-bit Veltronanew125K.dll beside the program
// (the simulated reader): Windows refuses to load it, and the 32-bit reader
// host beside the program serves it instead, through the same six functions.
class TestWindowsHostFallback : public QObject
{
    Q_OBJECT

private slots:
    void servesA32BitLibraryThroughTheHost();
};

void TestWindowsHostFallback::servesA32BitLibraryThroughTheHost()
{
    QTemporaryFile captured;
    QVERIFY(captured.open());
    std::fflush(stderr);
    const int saved = _dup(_fileno(stderr));
    _dup2(captured.handle(), _fileno(stderr));

    LibraryReader reader;
    bool missed = false;
    reader.setMissNotifier([&missed](const LibraryReader::Miss &) { missed = true; });
    std::vector<std::uint8_t> card(3001);
    std::int32_t aux = 0;
    std::vector<std::uint8_t> model(101);
    std::uint8_t modelAux = 0;
    const std::int16_t opened = reader.initCom(0, 2, 19200);
    const std::int16_t read = reader.request(0, 3, card.data(), &aux);
    const std::int16_t version = reader.getModel(0, model.data(), &modelAux);
    const std::int16_t closed = reader.closePort();

    std::fflush(stderr);
    _dup2(saved, _fileno(stderr));
    _close(saved);
    captured.seek(0);
    const QString said = QString::fromLocal8Bit(captured.readAll());

    QVERIFY2(!missed, qPrintable(said));
    QVERIFY2(said.contains(QStringLiteral("the 32-bit reader host")), qPrintable(said));
    QVERIFY2(opened == 0, qPrintable(said));
    QCOMPARE(read, 0);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(card.data()), 5).toHex(), QByteArray("1122334455"));
    QCOMPARE(aux, 5);
    QCOMPARE(version, 0);
    QCOMPARE(model[0], 0x01);
    QCOMPARE(model[1], 0x23);
    QCOMPARE(closed, 0);
}

QTEST_GUILESS_MAIN(TestWindowsHostFallback)
#include "test_windows_host_fallback.moc"
