// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "PortConnection.h"

#include <QCoreApplication>

#include "NumericText.h"
#include "Reader.h"

namespace kv {

PortConnection::Outcome PortConnection::open(const QString &portText, const QString &baudText)
{
    const auto port = int32Value(portText);
    const auto baud = int32Value(baudText);
    if (!port || !baud) {
        m_errorCom = kClosed;
        return {false, port ? QCoreApplication::translate("Status", "波特率超出范围！")
                            : QCoreApplication::translate("Status", "端口号超出范围！")};
    }
    return open(*port, *baud);
}

PortConnection::Outcome PortConnection::open(std::int32_t port, std::int32_t baud)
{
    if (const std::int16_t status = m_reader.initCom(0, port, baud); status != 0) {
        m_errorCom = kClosed;
        return {false, QCoreApplication::translate("Status", "串口打开失败！"), status};
    }
    m_errorCom = kOpen;
    m_openedPort = port;
    m_openedBaud = baud;
    return {true, QCoreApplication::translate("Status", "串口打开成功！")};
}

PortConnection::Outcome PortConnection::close()
{
    if (const std::int16_t status = m_reader.closePort(); status != 0)
        return {false, QCoreApplication::translate("Status", "串口关闭失败！"), status};
    m_errorCom = kClosed;
    return {true, QCoreApplication::translate("Status", "串口关闭成功！")};
}

// The same Chinese text as a failed open; English says what it means here.
QString PortConnection::notOpenMessage() { return QCoreApplication::translate("Status", "串口打开失败！", "not open"); }

QString PortConnection::alreadyOpenNotice()
{
    return QCoreApplication::translate("Messages", "串口已经打开，可直接操作");
}

} // namespace kv
