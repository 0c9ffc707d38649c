// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

// The buzzer, indicator and version commands of the main window.

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>

#include "Form1.h"
#include "NumericText.h"
#include "Reader.h"
#include "ReaderVersion.h"

using namespace kv;

void Form1::cmdBuzzer_Click()
{
    if (notOpenGuard())
        return;
    // A value outside 0-255, or one with no representation, is refused here:
    // it would otherwise reach the library as some other byte.
    const auto value = byteValue(txtBuzzerValue->text()); // blanks anywhere are ignored
    if (!value) {
        setStatus(QCoreApplication::translate("Status", "蜂鸣器值须在0-255之间！"));
        return;
    }
    m_module.lastStatus = m_reader.beep(0, *value);
    setStatus(m_module.lastStatus == 0 ? QCoreApplication::translate("Status", "蜂鸣器控制成功！")
                                       : QCoreApplication::translate("Status", "蜂鸣器控制失败！"));
}

// The selected position of the indicator list; -1 when the operator's typing
// has left the field showing something other than the current entry.
int Form1::selectedIndicator() const
{
    const int index = cboLED->currentIndex();
    return index >= 0 && cboLED->currentText() == cboLED->itemText(index) ? index : -1;
}

void Form1::cmdLED_Click()
{
    if (notOpenGuard())
        return;
    const int code = selectedIndicator();
    if (code < 0) {
        setStatus(QCoreApplication::translate("Status", "请从列表中选择指示灯命令！"));
        return;
    }
    m_module.lastStatus = m_reader.light(0, static_cast<std::uint8_t>(code));
    setStatus(m_module.lastStatus == 0 ? QCoreApplication::translate("Status", "指示灯控制成功！")
                                       : QCoreApplication::translate("Status", "指示灯控制失败！"));
}

void Form1::cmdReadVersion_Click()
{
    if (notOpenGuard())
        return;
    txtVersion->clear();
    const ReaderVersion version = readVersion(m_reader, m_module);
    if (!version.ok()) {
        setStatus(QCoreApplication::translate("Status", "读取版本号失败！"));
        return;
    }
    txtVersion->setText(version.text);
    setStatus(QCoreApplication::translate("Status", "读取版本号成功！"));
}
