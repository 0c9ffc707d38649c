<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="zh_CN">
<context>
    <name>Indicators</name>
    <message>
        <source>LED1灭</source>
        <translation>LED1 off</translation>
    </message>
    <message>
        <source>LED1亮</source>
        <translation>LED1 on</translation>
    </message>
    <message>
        <source>LED2灭</source>
        <translation>LED2 off</translation>
    </message>
    <message>
        <source>LED2亮</source>
        <translation>LED2 on</translation>
    </message>
</context>
<context>
    <name>Layout</name>
    <message>
        <source>自动测试开始</source>
        <translation>Start test</translation>
    </message>
    <message>
        <source>自动测试关闭</source>
        <translation>Stop test</translation>
    </message>
    <message>
        <source>端口连接</source>
        <comment>frame</comment>
        <translation>Connection</translation>
    </message>
    <message>
        <source>寻卡（全部格式）</source>
        <translation>Read card (all formats)</translation>
    </message>
    <message>
        <source>控制指示灯</source>
        <translation>LEDs</translation>
    </message>
    <message>
        <source>蜂鸣器</source>
        <translation>Buzzer</translation>
    </message>
    <message>
        <source>端口连接</source>
        <comment>button</comment>
        <translation>Connect</translation>
    </message>
    <message>
        <source>关闭串口</source>
        <translation>Close port</translation>
    </message>
    <message>
        <source>正序10位10进制</source>
        <translation>10-digit decimal</translation>
    </message>
    <message>
        <source>反序10位10进制</source>
        <translation>10-digit decimal, reversed</translation>
    </message>
    <message>
        <source>正序3位+逗号+5位码</source>
        <translation>3 digits, comma, 5 digits</translation>
    </message>
    <message>
        <source>正序16进制5字节</source>
        <translation>5 bytes hex</translation>
    </message>
    <message>
        <source>反序16进制5字节</source>
        <translation>5 bytes hex, reversed</translation>
    </message>
    <message>
        <source>正序16进制4字节</source>
        <translation>4 bytes hex</translation>
    </message>
    <message>
        <source>反序16进制4字节</source>
        <translation>4 bytes hex, reversed</translation>
    </message>
    <message>
        <source>正序16进制3字节</source>
        <translation>3 bytes hex</translation>
    </message>
    <message>
        <source>反序16进制3字节</source>
        <translation>3 bytes hex, reversed</translation>
    </message>
    <message>
        <source>正序8位10进制</source>
        <translation>8-digit decimal</translation>
    </message>
    <message>
        <source>反序8位10进制</source>
        <translation>8-digit decimal, reversed</translation>
    </message>
    <message>
        <source>全部格式卡号读出</source>
        <translation>Read all formats</translation>
    </message>
    <message>
        <source>成功计数</source>
        <translation>Good reads</translation>
    </message>
    <message>
        <source>LED1灭</source>
        <translation>LED1 off</translation>
    </message>
    <message>
        <source>执行</source>
        <comment>indicator</comment>
        <translation>Switch</translation>
    </message>
    <message>
        <source>执行</source>
        <comment>buzzer</comment>
        <translation>Beep</translation>
    </message>
    <message>
        <source>值：0-255</source>
        <translation>Value: 0-255</translation>
    </message>
    <message>
        <source>测试统计</source>
        <translation>Test totals</translation>
    </message>
    <message>
        <source>完成轮数</source>
        <translation>Passes</translation>
    </message>
    <message>
        <source>运行时间</source>
        <translation>Run time</translation>
    </message>
    <message>
        <source>测试步数</source>
        <translation>Steps</translation>
    </message>
    <message>
        <source>失败步数</source>
        <translation>Failed</translation>
    </message>
    <message>
        <source>失败率</source>
        <translation>Fail rate</translation>
    </message>
    <message>
        <source>最近失败</source>
        <translation>Last failure</translation>
    </message>
    <message>
        <source>读取版本号</source>
        <comment>frame</comment>
        <translation>Reader version</translation>
    </message>
    <message>
        <source>读取版本号</source>
        <comment>button</comment>
        <translation>Read version</translation>
    </message>
    <message>
        <source>首次失败</source>
        <translation>First failure</translation>
    </message>
    <message>
        <source>无读数</source>
        <translation>No read</translation>
    </message>
    <message>
        <source>读数错误</source>
        <translation>Misread</translation>
    </message>
    <message>
        <source>端口未开</source>
        <translation>No port</translation>
    </message>
</context>
<context>
    <name>Log</name>
    <message>
        <source>第%1步测试成功，卡号为%2</source>
        <translation>Step %1 passed, card %2</translation>
    </message>
    <message>
        <source>第%1步测试错误，卡号为%2</source>
        <translation>Step %1 failed, card %2</translation>
    </message>
</context>
<context>
    <name>Messages</name>
    <message>
        <source>无法写入测试记录文件：%1

原因：%2

程序继续运行，但不再记录测试。</source>
        <translation>The test record %1 cannot be written.

Reason: %2

The program goes on without a record.</translation>
    </message>
    <message>
        <source>串口已经打开，可直接操作</source>
        <translation>The port is already open and ready for use.</translation>
    </message>
    <message>
        <source>找不到读卡器库或其中的函数：%1

原因：%2

请把读卡器厂商提供的库 %3 放在本程序所在的目录，或把它所在的目录加入环境变量 PATH。</source>
        <translation>The reader library, or a function in it, cannot be found: %1

Reason: %2

Put the reader maker&apos;s library %3 into the folder of this program, or add its folder to the environment variable PATH.</translation>
    </message>
    <message>
        <source>找不到读卡器库或其中的函数：%1

原因：%2

请安装读卡器厂商提供的库 %3，或把环境变量 LD_LIBRARY_PATH 指向它所在的目录。</source>
        <translation>The reader library, or a function in it, cannot be found: %1

Reason: %2

Install the reader maker&apos;s library %3, or point the environment variable LD_LIBRARY_PATH at its folder.</translation>
    </message>
    <message>
        <source>

演示时可使用随本程序提供的模拟读卡器：
set PATH=%1;%PATH%</source>
        <translation>

For a demonstration, use the simulated reader that comes with this program:
set PATH=%1;%PATH%</translation>
    </message>
    <message>
        <source>

演示时可使用随本程序提供的模拟读卡器：
LD_LIBRARY_PATH=%1</source>
        <translation>

For a demonstration, use the simulated reader that comes with this program:
LD_LIBRARY_PATH=%1</translation>
    </message>
    <message>
        <source>读卡器库无法访问读卡器：

%1</source>
        <translation>The reader library cannot reach the reader:

%1</translation>
    </message>
</context>
<context>
    <name>Statistics</name>
    <message>
        <source>（空）</source>
        <translation>(none)</translation>
    </message>
    <message>
        <source>%1 第%2步
读数 %3
参考 %4</source>
        <translation>%1 step %2
Reading %3
Reference %4</translation>
    </message>
    <message>
        <source>读卡器恢复</source>
        <translation>Reader OK</translation>
    </message>
    <message>
        <source>读卡器断开</source>
        <translation>Reader lost</translation>
    </message>
</context>
<context>
    <name>Status</name>
    <message>
        <source>寻卡成功！</source>
        <translation>Card read.</translation>
    </message>
    <message>
        <source>寻卡操作失败！</source>
        <translation>Card read failed.</translation>
    </message>
    <message>
        <source>波特率超出范围！</source>
        <translation>Baud rate out of range.</translation>
    </message>
    <message>
        <source>端口号超出范围！</source>
        <translation>Port number out of range.</translation>
    </message>
    <message>
        <source>串口打开失败！</source>
        <translation>Port open failed.</translation>
    </message>
    <message>
        <source>串口打开成功！</source>
        <translation>Port opened.</translation>
    </message>
    <message>
        <source>串口关闭失败！</source>
        <translation>Port close failed.</translation>
    </message>
    <message>
        <source>串口关闭成功！</source>
        <translation>Port closed.</translation>
    </message>
    <message>
        <source>串口打开失败！</source>
        <comment>not open</comment>
        <translation>Port not open.</translation>
    </message>
    <message>
        <source>蜂鸣器值须在0-255之间！</source>
        <translation>Buzzer value must be 0 to 255.</translation>
    </message>
    <message>
        <source>蜂鸣器控制成功！</source>
        <translation>Buzzer sounded.</translation>
    </message>
    <message>
        <source>蜂鸣器控制失败！</source>
        <translation>Buzzer failed.</translation>
    </message>
    <message>
        <source>请从列表中选择指示灯命令！</source>
        <translation>Choose an LED command from the list.</translation>
    </message>
    <message>
        <source>指示灯控制成功！</source>
        <translation>LED switched.</translation>
    </message>
    <message>
        <source>指示灯控制失败！</source>
        <translation>LED switch failed.</translation>
    </message>
    <message>
        <source>读取版本号失败！</source>
        <translation>Version read failed.</translation>
    </message>
    <message>
        <source>读取版本号成功！</source>
        <translation>Version read.</translation>
    </message>
</context>
<context>
    <name>Window</name>
    <message>
        <source>KV718ST演示软件</source>
        <translation>KV718ST Demo</translation>
    </message>
    <message>
        <source>成功计数</source>
        <translation>Good reads</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>读卡器连接</source>
        <translation>Reader link</translation>
    </message>
</context>
</TS>
