// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "PortConnection.h"

#include "NumericText.h"
#include "Reader.h"

PortConnection::Outcome PortConnection::open(const QString &portText, const QString &baudText)
{
    const auto port = kv::int32Value(portText);
    const auto baud = kv::int32Value(baudText);
    if (!port || !baud) {
        m_errorCom = kClosed;
        return {false, port ? QStringLiteral("波特率超出范围！") : QStringLiteral("端口号超出范围！")};
    }
    if (m_reader.initCom(0, *port, *baud) != 0) {
        m_errorCom = kClosed;
        return {false, QStringLiteral("串口打开失败！")};
    }
    m_errorCom = kOpen;
    return {true, QStringLiteral("串口打开成功！")};
}

PortConnection::Outcome PortConnection::close()
{
    if (m_reader.closePort() != 0)
        return {false, QStringLiteral("串口关闭失败！")};
    m_errorCom = kClosed;
    return {true, QStringLiteral("串口关闭成功！")};
}

QString PortConnection::notOpenMessage() { return QStringLiteral("串口打开失败！"); }

QString PortConnection::alreadyOpenNotice() { return QStringLiteral("串口已经打开，可直接操作"); }
