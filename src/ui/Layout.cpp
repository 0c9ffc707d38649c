// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "Layout.h"

#include <array>

#include <QtGlobal>

namespace kv::layout {
namespace {

using K = Kind;

// clang-format off
constexpr std::array kControls = std::to_array<Control>({
    // name               kind          container    text                    left   top    width  height tab
    {"Frame1",            K::Frame,     nullptr,     QT_TRANSLATE_NOOP3("Layout", "端口连接", "frame"), 480,   120,   12855, 975,   0},
    {"Picture1",          K::Picture,   nullptr,     "",                     13680, 120,   4815,  1095,  -1},
    {"Frame2",            K::Frame,     nullptr,     QT_TRANSLATE_NOOP("Layout", "寻卡（全部格式）"), 480,   1320,  18135, 4650,  3},
    {"Frame3",            K::Frame,     nullptr,     QT_TRANSLATE_NOOP3("Layout", "读取版本号", "frame"), 480,   6000,  4215,  1335,  10},
    {"Frame5",            K::Frame,     nullptr,     QT_TRANSLATE_NOOP("Layout", "控制指示灯"), 5040,  6000,  4455,  1335,  42},
    {"Frame6",            K::Frame,     nullptr,     QT_TRANSLATE_NOOP("Layout", "蜂鸣器"), 9840,  6000,  3615,  1335,  45},
    {"Label_RetInfo",     K::Label,     nullptr,     "Label1",               480,   7560,  12975, 375,   5},

    // Port
    {"cboSetBoud",        K::ComboBox,  "Frame1",    "2",                    720,   360,   1815,  315,   49},
    {"txtBaudRate",       K::TextBox,   "Frame1",    "19200",                3120,  360,   1455,  285,   1},
    {"cmdConnect",        K::Button,    "Frame1",    QT_TRANSLATE_NOOP3("Layout", "端口连接", "button"), 6000,  240,   2655,  615,   2,  false},
    {"cmdClosePort",      K::Button,    "Frame1",    QT_TRANSLATE_NOOP("Layout", "关闭串口"), 9360,  240,   2415,  615,   38, false},

    // Card reading: format buttons, hexadecimal boxes, text boxes
    {"cmdRequest_0",      K::Button,    "Frame2",    QT_TRANSLATE_NOOP("Layout", "正序10位10进制"), 3840,  360,   2775,  650,   4},
    {"cmdRequest_1",      K::Button,    "Frame2",    QT_TRANSLATE_NOOP("Layout", "反序10位10进制"), 3840,  1200,  2775,  650,   13},
    {"cmdRequest_2",      K::Button,    "Frame2",    QT_TRANSLATE_NOOP("Layout", "正序3位+逗号+5位码"), 3840,  2040,  2775,  650,   23},
    {"cmdRequest_3",      K::Button,    "Frame2",    QT_TRANSLATE_NOOP("Layout", "正序16进制5字节"), 3840,  3120,  2775,  375,   24},
    {"cmdRequest_4",      K::Button,    "Frame2",    QT_TRANSLATE_NOOP("Layout", "反序16进制5字节"), 3840,  3600,  2775,  375,   25},
    {"cmdRequest_5",      K::Button,    "Frame2",    QT_TRANSLATE_NOOP("Layout", "正序16进制4字节"), 3840,  4080,  2775,  375,   26},
    {"cmdRequest_6",      K::Button,    "Frame2",    QT_TRANSLATE_NOOP("Layout", "反序16进制4字节"), 10080, 360,   2775,  375,   27},
    {"cmdRequest_7",      K::Button,    "Frame2",    QT_TRANSLATE_NOOP("Layout", "正序16进制3字节"), 10080, 840,   2775,  375,   28},
    {"cmdRequest_8",      K::Button,    "Frame2",    QT_TRANSLATE_NOOP("Layout", "反序16进制3字节"), 10080, 1320,  2775,  375,   29},
    {"cmdRequest_9",      K::Button,    "Frame2",    QT_TRANSLATE_NOOP("Layout", "正序8位10进制"), 10080, 1800,  2775,  650,   30},
    {"cmdRequest_10",     K::Button,    "Frame2",    QT_TRANSLATE_NOOP("Layout", "反序8位10进制"), 10080, 2640,  2775,  650,   31},
    {"txtZiFu_0",         K::TextBox,   "Frame2",    "",                     720,   360,   2895,  330,   8},
    {"txtZiFu_1",         K::TextBox,   "Frame2",    "",                     720,   1200,  2895,  375,   35},
    {"txtZiFu_2",         K::TextBox,   "Frame2",    "",                     720,   2040,  2895,  330,   14},
    {"txtZiFu_3",         K::TextBox,   "Frame2",    "",                     720,   3120,  2895,  330,   15},
    {"txtZiFu_4",         K::TextBox,   "Frame2",    "",                     720,   3600,  2895,  330,   16},
    {"txtZiFu_5",         K::TextBox,   "Frame2",    "",                     720,   4080,  2895,  330,   17},
    {"txtZiFu_6",         K::TextBox,   "Frame2",    "",                     6960,  360,   2895,  330,   18},
    {"txtZiFu_7",         K::TextBox,   "Frame2",    "",                     6960,  840,   2895,  330,   19},
    {"txtZiFu_8",         K::TextBox,   "Frame2",    "",                     6960,  1320,  2895,  330,   20},
    {"txtZiFu_9",         K::TextBox,   "Frame2",    "",                     6960,  1800,  2895,  375,   21},
    {"txtZiFu_10",        K::TextBox,   "Frame2",    "",                     6960,  2640,  2895,  375,   22},
    {"txtZiFu2_0",        K::TextBox,   "Frame2",    "",                     720,   720,   2895,  330,   32},
    {"txtZiFu2_1",        K::TextBox,   "Frame2",    "",                     720,   1560,  2895,  330,   36},
    {"txtZiFu2_2",        K::TextBox,   "Frame2",    "",                     720,   2400,  2895,  330,   33},
    {"txtZiFu2_3",        K::TextBox,   "Frame2",    "",                     6960,  2160,  2895,  330,   34},
    {"txtZiFu2_4",        K::TextBox,   "Frame2",    "",                     6960,  3000,  2895,  330,   37},
    {"cmdReadAll",        K::Button,    "Frame2",    QT_TRANSLATE_NOOP("Layout", "全部格式卡号读出"), 6960,  3480,  2655,  615,   40},
    {"cmdZiDongCeShi",    K::Button,    "Frame2",    QT_TRANSLATE_NOOP("Layout", "自动测试开始"), 10080, 3480,  2775,  615,   6},
    {"txtTestResult",     K::LogBox,    "Frame2",    "",                     13200, 360,   4815,  4095,  39},
    {"Label3",            K::Label,     "Frame2",    QT_TRANSLATE_NOOP("Layout", "成功计数"), 8520,  4200,  1215,  255,   -1},
    {"lblCount",          K::Label,     "Frame2",    "Label1",               10320, 4200,  1455,  255,   -1},

    // Version
    {"cmdReadVersion",    K::Button,    "Frame3",    QT_TRANSLATE_NOOP3("Layout", "读取版本号", "button"), 240,   360,   1695,  375,   12},
    {"txtVersion",        K::TextBox,   "Frame3",    "Text2",                2760,  360,   1215,  375,   11},

    // Indicator
    {"cboLED",            K::ComboBox,  "Frame5",    QT_TRANSLATE_NOOP("Layout", "LED1灭"), 480,   360,   1575,  300,   43},
    {"cmdLED",            K::Button,    "Frame5",    QT_TRANSLATE_NOOP3("Layout", "执行", "indicator"), 2760,  360,   1335,  375,   44},

    // Buzzer
    {"txtBuzzerValue",    K::TextBox,   "Frame6",    "33",                   480,   360,   1095,  375,   46},
    {"cmdBuzzer",         K::Button,    "Frame6",    QT_TRANSLATE_NOOP3("Layout", "执行", "buzzer"), 2160,  360,   1215,  375,   47},
    {"Label1",            K::Label,     "Frame6",    QT_TRANSLATE_NOOP("Layout", "值：0-255"), 480,   960,   1335,  255,   -1},

    // The pass/fail lamp
    {"Shape1",            K::Shape,     "Picture1",  "",                     1680,  120,   1455,  855,   -1},

    // Totals of the automatic test since its start
    {"fraStats",          K::Frame,     nullptr,     QT_TRANSLATE_NOOP("Layout", "测试统计"), 13560, 6000,  5220,  2220,  -1},
    {"lblStatPassesCaption", K::Label,  "fraStats",  QT_TRANSLATE_NOOP("Layout", "完成轮数"), 240,   300,   1095,  255,   -1},
    {"lblStatPasses",     K::Label,     "fraStats",  "0",                    1335,  300,   1095,  255,   -1},
    {"lblStatElapsedCaption", K::Label, "fraStats",  QT_TRANSLATE_NOOP("Layout", "运行时间"), 2520,  300,   1095,  255,   -1},
    {"lblStatElapsed",    K::Label,     "fraStats",  "0:00:00",              3615,  300,   1200,  255,   -1},
    {"lblStatStepsCaption", K::Label,   "fraStats",  QT_TRANSLATE_NOOP("Layout", "测试步数"), 240,   570,   1095,  255,   -1},
    {"lblStatSteps",      K::Label,     "fraStats",  "0",                    1335,  570,   1095,  255,   -1},
    {"lblStatFailuresCaption", K::Label, "fraStats", QT_TRANSLATE_NOOP("Layout", "失败步数"), 2520,  570,   1095,  255,   -1},
    {"lblStatFailures",   K::Label,     "fraStats",  "0",                    3615,  570,   1200,  255,   -1},
    {"lblStatRateCaption", K::Label,    "fraStats",  QT_TRANSLATE_NOOP("Layout", "失败率"), 240,   840,   1095,  255,   -1},
    {"lblStatRate",       K::Label,     "fraStats",  "0%",                   1335,  840,   1095,  255,   -1},
    {"lblStatFirstFailureCaption", K::Label, "fraStats", QT_TRANSLATE_NOOP("Layout", "首次失败"), 2520, 840, 1095, 255, -1},
    {"lblStatFirstFailure", K::Label,   "fraStats",  "",                     3615,  840,   1200,  255,   -1},
    {"lblStatLastFailureCaption", K::Label, "fraStats", QT_TRANSLATE_NOOP("Layout", "最近失败"), 240,   1110,  1095,  255,   -1},
    {"lblStatLastFailure", K::Label,    "fraStats",  "",                     1335,  1110,  3480,  765,   -1},
    // The link to the reader, below the last failure's caption: empty until
    // the reader library says it was lost or is back.
    {"lblStatLink",       K::Label,     "fraStats",  "",                     240,   1380,  1095,  495,   -1},
    // The failed steps by kind.
    {"lblStatNoReadCaption", K::Label,  "fraStats",  QT_TRANSLATE_NOOP("Layout", "无读数"), 240,   1890,  820,   255,   -1},
    {"lblStatNoRead",     K::Label,     "fraStats",  "0",                    1060,  1890,  820,   255,   -1},
    {"lblStatWrongReadCaption", K::Label, "fraStats", QT_TRANSLATE_NOOP("Layout", "读数错误"), 1880,  1890,  820,   255,   -1},
    {"lblStatWrongRead",  K::Label,     "fraStats",  "0",                    2700,  1890,  820,   255,   -1},
    {"lblStatPortClosedCaption", K::Label, "fraStats", QT_TRANSLATE_NOOP("Layout", "端口未开"), 3520,  1890,  820,   255,   -1},
    {"lblStatPortClosed", K::Label,     "fraStats",  "0",                    4340,  1890,  820,   255,   -1},
});
// clang-format on

} // namespace

std::span<const Control> controls() { return kControls; }

} // namespace kv::layout
