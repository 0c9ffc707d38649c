// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

// kv718st-cli ports: the serial devices present, each with the port number
// the serial-module reader opens it by. The listing and the rule are the
// reader's own (readers/serial/devices), so that what this command says is
// what an open of that port does.

#include "Commands.h"
#include "Console.h"

#if !defined(_WIN32)
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "SerialDevices.h"
#endif

namespace kv {

int Commands::ports()
{
#if defined(_WIN32)
    m_console.message(QStringLiteral("ports is not available on Windows: the serial-module reader is POSIX only"));
    return kExitUsage;
#else
    const std::string pattern = serial::devicePattern();
    const auto text = [](const std::string &bytes) { return QFile::decodeName(QByteArray::fromStdString(bytes)); };
    QStringList lines;
    QJsonArray devices;
    for (const serial::SerialDevice &device : serial::serialDevices(pattern)) {
        const QString port = device.port ? QString::number(device.port) : QStringLiteral("none");
        lines << QStringLiteral("port=%1 device=%2 by_id=%3 group=%4 access=%5")
                     .arg(port, text(device.path), text(device.byId), text(device.group),
                          device.accessible ? QStringLiteral("yes") : QStringLiteral("no"));
        devices.append(QJsonObject{
            {QStringLiteral("port"), device.port ? QJsonValue(device.port) : QJsonValue()},
            {QStringLiteral("device"), text(device.path)},
            {QStringLiteral("by_id"), device.byId.empty() ? QJsonValue() : QJsonValue(text(device.byId))},
            {QStringLiteral("group"), text(device.group)},
            {QStringLiteral("access"), device.accessible},
        });
    }
    if (devices.isEmpty())
        m_console.message(QStringLiteral("no serial device is present"));
    if (m_invocation.json)
        lines = QStringList{QString::fromUtf8(
            QJsonDocument(QJsonObject{{QStringLiteral("mapping"), text(pattern)}, {QStringLiteral("devices"), devices}})
                .toJson(QJsonDocument::Compact))};
    for (const QString &line : std::as_const(lines))
        if (!m_console.printLine(line))
            return kExitFailed;
    return kExitSuccess;
#endif
}

} // namespace kv
