// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include <QByteArray>
#include <QtGlobal>

// A real pseudo-terminal standing in for a serial reader module: the library
// opens the slave side by its path, the test plays the module on the master.
class PseudoTerminal
{
public:
    PseudoTerminal()
    {
        int master = -1;
        int slave = -1;
        char name[128] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
            qFatal("openpty failed");
        // A program the test starts must not keep the master open: the
        // slave would never hang up.
        ::fcntl(master, F_SETFD, FD_CLOEXEC);
        m_master = master;
        ::close(slave); // the library opens its own
        m_slavePath = name;
    }
    ~PseudoTerminal() { hangUp(); }
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    const std::string &slavePath() const { return m_slavePath; }

    // Writes to the master side, as the module would send the bytes.
    void send(const QByteArray &bytes)
    {
        const int fd = m_master.load();
        for (qsizetype done = 0; fd >= 0 && done < bytes.size();) {
            const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
            if (n <= 0)
                return;
            done += n;
        }
    }

    // Closes the master side: the slave hangs up, as a serial adapter that is
    // pulled out does.
    void hangUp()
    {
        const int fd = m_master.exchange(-1);
        if (fd >= 0)
            ::close(fd);
    }

private:
    std::atomic<int> m_master{-1};
    std::string m_slavePath;
};

// One step of what the module does: send bytes (or hang up), then pause.
struct Piece
{
    QByteArray bytes;
    std::chrono::milliseconds pauseAfter{0};
    bool hangUp = false;
};

// Plays a script on the master side from its own thread, from the start
// again after its last piece when `repeat` is set, until destroyed. Pauses end
// early when the emulator is stopped.
class ModuleEmulator
{
public:
    ModuleEmulator(PseudoTerminal &terminal, std::vector<Piece> script, bool repeat = true)
        : m_thread([&terminal, script = std::move(script), repeat, this](std::stop_token stop) {
              do {
                  for (const Piece &piece : script) {
                      if (stop.stop_requested())
                          return;
                      if (piece.hangUp)
                          terminal.hangUp();
                      else
                          terminal.send(piece.bytes);
                      std::unique_lock lock(m_mutex);
                      m_wake.wait_for(lock, stop, piece.pauseAfter, [] { return false; });
                  }
              } while (repeat && !script.empty());
          })
    {
    }

private:
    std::mutex m_mutex;
    std::condition_variable_any m_wake;
    std::jthread m_thread; // last: joined before the members it uses go
};

// The frame a module sends for the ID in `idHex` (10 hexadecimal digits, sent
// as given), with its checksum in upper case.
inline QByteArray moduleFrame(const QByteArray &idHex)
{
    const QByteArray id = QByteArray::fromHex(idHex);
    char checksum = 0;
    for (const char byte : id)
        checksum = static_cast<char>(checksum ^ byte);
    return '\x02' + idHex + QByteArray(1, checksum).toHex().toUpper() + '\x03';
}
