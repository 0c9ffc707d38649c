// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include <dlfcn.h>

#include <QTest>

#include "LibraryReader.h"

using namespace kv;

// The loader path points at a folder without the reader library: every call
// fails, and only the first miss reaches the notifier.
class TestSimulatedLibraryMissing : public QObject
{
    Q_OBJECT

private slots:
    void notifiesTheFirstMissOnly();
};

void TestSimulatedLibraryMissing::notifiesTheFirstMissOnly()
{
    // A maker's library installed on the system is found whatever the loader
    // path says; there is then no miss to see.
    if (void *installed = dlopen(RF_LIBRARY_NAME, RTLD_LAZY | RTLD_LOCAL)) {
        dlclose(installed);
        QSKIP("a reader library is installed where the loader looks");
    }
    LibraryReader reader;
    QList<LibraryReader::Miss> misses;
    reader.setMissNotifier([&](const LibraryReader::Miss &miss) { misses.append(miss); });

    QVERIFY(reader.initCom(0, 2, 19200) != 0);
    QCOMPARE(misses.size(), 1);
    QVERIFY2(misses.front().what.contains(QStringLiteral(RF_LIBRARY_NAME)), qPrintable(misses.front().what));
    QVERIFY(!misses.front().reason.isEmpty());

    std::array<std::uint8_t, 16> buffer{};
    std::int32_t aux = 0;
    QVERIFY(reader.initCom(0, 2, 19200) != 0);
    QVERIFY(reader.request(0, 0, buffer.data(), &aux) != 0);
    QVERIFY(reader.closePort() != 0);
    QCOMPARE(misses.size(), 1);
}

QTEST_APPLESS_MAIN(TestSimulatedLibraryMissing)
#include "test_simulated_library_missing.moc"
