// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "Form1.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QFont>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "Indicators.h"
#include "Layout.h"
#include "LogBox.h"
#include "PaintPacer.h"
#include "ProjectReaders.h"
#include "NumericText.h"
#include "Reader.h"
#include "Shape.h"
#include "TestRecord.h"

using namespace kv;

using namespace std::chrono_literals;

namespace {

constexpr auto kFirstTickInterval = 100ms;
constexpr auto kFrameInterval = 40ms; // at most 25 repaints a second
constexpr int kCountBackground = 0x80FF80; // light green

// A control of `kind` with its caption or initial text.
QWidget *newControl(layout::Kind kind, const QString &text, QWidget *container)
{
    using layout::Kind;
    switch (kind) {
    case Kind::Frame:
        return new QGroupBox(text, container);
    case Kind::Picture: {
        auto *frame = new QFrame(container);
        frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        frame->setLineWidth(2);
        return frame;
    }
    case Kind::Shape:
        return new Shape(container);
    case Kind::Label: {
        auto *label = new QLabel(text, container);
        // What a label shows is never markup: a status, a count or a
        // reference the operator typed is shown as it is, and a new text is
        // not searched for tags.
        label->setTextFormat(Qt::PlainText);
        return label;
    }
    case Kind::Button:
        return new QPushButton(text, container);
    case Kind::TextBox:
        return new QLineEdit(text, container);
    case Kind::LogBox: {
        auto *box = new LogBox(container);
        box->setPlainText(text);
        return box;
    }
    case Kind::ComboBox: {
        auto *combo = new QComboBox(container);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert); // typing and Enter never add entries
        combo->setEditText(text);
        return combo;
    }
    }
    Q_UNREACHABLE();
}

QWidget *createControl(const layout::Control &control, QWidget *container)
{
    // Texts that are words are in the translation; the others show as they are.
    const QString text =
        QCoreApplication::translate(layout::kTextContext, control.text.source, control.text.disambiguation);
    QWidget *widget = newControl(control.kind, text, container);
    widget->setObjectName(QString::fromLatin1(control.name));
    widget->setEnabled(control.enabled);
    if (control.tab < 0)
        widget->setFocusPolicy(Qt::NoFocus);
    // A frame's children are placed from its outer corner, a panel's from
    // inside its border.
    const auto *panel = qobject_cast<const QFrame *>(container);
    const int inset = panel && !qobject_cast<const QGroupBox *>(container) ? panel->frameWidth() : 0;
    // A fixed size: nothing here has a layout, and a control whose size can
    // change asks its container to lay it out again (a posted event, and a
    // wake of the event loop) every time its text changes.
    widget->setFixedSize(layout::pixels(control.width), layout::pixels(control.height));
    widget->move(layout::pixels(control.left) + inset, layout::pixels(control.top) + inset);
    return widget;
}

void showMessageBox(QWidget *parent, QMessageBox::Icon icon, const QString &text)
{
    QMessageBox box(icon, Form1::applicationTitle(), text, QMessageBox::Ok, parent);
    box.exec();
}

// A box that stays until the operator closes it, while everything goes on.
void showNoticeBox(QWidget *parent, QMessageBox::Icon icon, const QString &text)
{
    auto *box = new QMessageBox(icon, Form1::applicationTitle(), text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

// Ends the process at once, wherever it is called from, also from inside the
// nested event processing of a test pass: nothing that was interrupted runs on.
[[noreturn]] void endProgramNow()
{
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(0);
}

} // namespace

Form1::Hooks Form1::defaultHooks() { return {showMessageBox, endProgramNow, showNoticeBox}; }

QString Form1::applicationTitle() { return QCoreApplication::translate("Window", "KV718ST演示软件"); }

Form1::Form1(Reader &reader, Hooks hooks, QWidget *parent)
    : QWidget(parent), m_reader(reader), m_hooks(std::move(hooks))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(applicationTitle());
    resize(layout::pixels(layout::kWindowWidth), layout::pixels(layout::kWindowHeight));
    // The window shows digits, Latin letters and Chinese, none of which needs
    // complex shaping; without it the labels and log lines that change at
    // every read are laid out and painted for much less. Scripts that need
    // shaping still get it.
    QFont noShaping; // sets only this, the rest follows the application's font
    noShaping.setStyleStrategy(QFont::PreferNoShaping);
    setFont(noShaping);
    buildControls();
    new PaintPacer(this, kFrameInterval);
    Form_Load();
}

Form1::~Form1() = default;

// Creates every control of the layout table in its container, in tab order.
void Form1::buildControls()
{
    QHash<QByteArray, QWidget *> byName;
    std::vector<std::pair<int, QWidget *>> tabOrder;
    for (const layout::Control &control : layout::controls()) {
        QWidget *container = control.container ? byName.value(control.container) : this;
        Q_ASSERT(container);
        QWidget *widget = createControl(control, container);
        byName.insert(control.name, widget);
        if (control.tab >= 0 && widget->focusPolicy() != Qt::NoFocus)
            tabOrder.emplace_back(control.tab, widget);
    }
    std::ranges::sort(tabOrder, {}, &std::pair<int, QWidget *>::first);
    for (std::size_t i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1].second, tabOrder[i].second);
    findControls(byName);
    setUpControls();
    connectHandlers();
    txtBaudRate->setFocus();
}

void Form1::findControls(const QHash<QByteArray, QWidget *> &byName)
{
    const auto find = [&byName]<typename T>(T *&member, const QByteArray &name) {
        member = qobject_cast<T *>(byName.value(name));
        Q_ASSERT_X(member, "Form1", name.constData());
    };
    find(cboSetBoud, "cboSetBoud");
    find(txtBaudRate, "txtBaudRate");
    for (std::size_t i = 0; i < cmdRequest.size(); ++i) {
        find(cmdRequest[i], "cmdRequest_" + QByteArray::number(i));
        find(txtZiFu[i], "txtZiFu_" + QByteArray::number(i));
    }
    for (std::size_t k = 0; k < txtZiFu2.size(); ++k)
        find(txtZiFu2[k], "txtZiFu2_" + QByteArray::number(k));
    find(cmdReadAll, "cmdReadAll");
    find(cmdZiDongCeShi, "cmdZiDongCeShi");
    find(txtTestResult, "txtTestResult");
    find(lblCount, "lblCount");
    find(Label_RetInfo, "Label_RetInfo");
    find(cmdReadVersion, "cmdReadVersion");
    find(txtVersion, "txtVersion");
    find(cboLED, "cboLED");
    find(cmdLED, "cmdLED");
    find(txtBuzzerValue, "txtBuzzerValue");
    find(cmdBuzzer, "cmdBuzzer");
    find(Shape1, "Shape1");
    m_statisticsFrame.emplace(*this);
}

// What the layout table does not say: the indicator list, the status line's
// font, the counter's colour, the names screen readers give the labels that
// change, and the test timer.
void Form1::setUpControls()
{
    for (const char *name : kIndicatorNames)
        cboLED->addItem(QCoreApplication::translate("Indicators", name));

    QFont statusFont;
    statusFont.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("WenQuanYi Micro Hei"),
                            QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Microsoft YaHei"),
                            QStringLiteral("SimSun")});
    statusFont.setPointSizeF(13.5);
    statusFont.setWeight(QFont::Normal);
    statusFont.setItalic(false);
    statusFont.setUnderline(false);
    statusFont.setStrikeOut(false);
    Label_RetInfo->setFont(statusFont);

    // Screen readers name the labels that change by what they show. A label
    // with a name of its own also spares Qt a name-change notice, with its
    // look-ups, at every new text: the counter changes at every read.
    lblCount->setAccessibleName(QCoreApplication::translate("Window", "成功计数"));
    Label_RetInfo->setAccessibleName(QCoreApplication::translate("Window", "状态"));

    lblCount->setAutoFillBackground(true);
    QPalette countPalette = lblCount->palette();
    countPalette.setColor(QPalette::Window, colorFromValue(kCountBackground));
    lblCount->setPalette(countPalette);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setTimerType(Qt::PreciseTimer);
    Timer1->setInterval(kFirstTickInterval);
}

void Form1::connectHandlers()
{
    connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
    auto *requestGroup = new QButtonGroup(this);
    for (std::size_t i = 0; i < cmdRequest.size(); ++i)
        requestGroup->addButton(cmdRequest[i], static_cast<int>(i));
    connect(requestGroup, &QButtonGroup::idClicked, this, &Form1::cmdRequest_Click);
    connect(cmdReadAll, &QPushButton::clicked, this, &Form1::cmdReadAll_Click);
    connect(cmdZiDongCeShi, &QPushButton::clicked, this, &Form1::cmdZiDongCeShi_Click);
    connect(cmdBuzzer, &QPushButton::clicked, this, &Form1::cmdBuzzer_Click);
    connect(cmdLED, &QPushButton::clicked, this, &Form1::cmdLED_Click);
    connect(cmdReadVersion, &QPushButton::clicked, this, &Form1::cmdReadVersion_Click);
}

// Start-up: fills the port list and selects the first indicator command.
// Nothing touches the reader.
void Form1::Form_Load()
{
    for (int n = 1; n <= 7; ++n)
        cboSetBoud->addItem(numberText(n));
    // Adding to an empty list selects its first entry; the port field keeps
    // its own text and no entry is selected.
    cboSetBoud->setCurrentIndex(-1);
    cboSetBoud->setEditText(QStringLiteral("2"));
    cboLED->setCurrentIndex(0);
}

// Shut-down: stops the test timer, closes the port whatever its state, and
// ends the program at once.
void Form1::Form_Unload()
{
    if (m_shuttingDown)
        return;
    m_shuttingDown = true;
    Timer1->stop();
    // A test that was still running ends here: its totals go to the record.
    stopTest(EnduranceRun::StopRecording::AtOnce);
    m_reader.closePort(); // the result does not matter: the program ends anyway
    m_hooks.endProgram();
}

void Form1::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}

void Form1::showLibraryMissing(const QString &what, const QString &reason)
{
    if (m_shuttingDown) {
        std::fprintf(stderr, "kv718st-demo: %s not found: %s\n", what.toLocal8Bit().constData(),
                     reason.toLocal8Bit().constData());
        return;
    }
    tell(QMessageBox::Critical, libraryMissingText(what, reason));
}

void Form1::showLibraryProblem(const QString &problem)
{
    if (m_shuttingDown) {
        std::fprintf(stderr, "kv718st-demo: reader library: %s\n", problem.toLocal8Bit().constData());
        return;
    }
    tell(QMessageBox::Critical, QCoreApplication::translate("Messages", "读卡器库无法访问读卡器：\n\n%1").arg(problem));
}

void Form1::linkChanged(bool up, const QString &text)
{
    m_run.linkChanged(up, text);
    m_statisticsFrame->showLink(up, QDateTime::currentDateTimeUtc());
}

void Form1::tell(QMessageBox::Icon icon, const QString &text)
{
    const bool testing = m_run.totals().clockRunning() || m_run.passRunning();
    if (testing && m_hooks.notice)
        m_hooks.notice(this, icon, text);
    else
        m_hooks.messageBox(this, icon, text);
}

void Form1::setStatus(const QString &message) { Label_RetInfo->setText(message); }

void Form1::showNotice(const QString &text) { m_hooks.messageBox(this, QMessageBox::NoIcon, text); }

bool Form1::openPortSequence()
{
    const PortConnection::Outcome outcome = m_port.open(cboSetBoud->currentText(), txtBaudRate->text());
    setStatus(outcome.message);
    return outcome.ok;
}

void Form1::closePortSequence() { setStatus(m_port.close().message); }

bool Form1::notOpenGuard()
{
    if (!m_port.refuses())
        return false;
    setStatus(PortConnection::notOpenMessage());
    return true;
}

bool Form1::openOrNotice()
{
    if (m_port.isOpen()) {
        showNotice(PortConnection::alreadyOpenNotice());
        return true;
    }
    return openPortSequence();
}
