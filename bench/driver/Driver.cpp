// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

// A driver preloaded into a Qt Widgets program (LD_PRELOAD). When the
// environment variable KV718ST_DRIVE holds a script (see DriveScript.h), it
// plays the script against the top-level window named "Form1" once the
// application object exists, and prints what it measures on stderr as lines
// "driver: <what> key=value ...". Without KV718ST_DRIVE it does nothing.
//
// KV718ST_DRIVE_T0 may hold the launch time (CLOCK_REALTIME, nanoseconds)
// taken by the launching script just before exec; times "since start" are
// measured from it, or else from the moment this library was loaded.

#include "DriveScript.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QMouseEvent>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextEdit>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>


namespace {

using namespace kv::drive;

std::int64_t realtimeNs()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return std::int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Taken while the dynamic loader initialises this library, i.e. before main().
const std::int64_t g_loadNs = realtimeNs();

QString ms(double v)
{
    return QString::number(v, 'f', 3);
}

void printLine(const QString &line)
{
    const QByteArray bytes = (QStringLiteral("driver: ") + line + u'\n').toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

[[noreturn]] void failAndExit(const QString &step, const QString &what)
{
    QString line = QStringLiteral("error");
    if (!step.isEmpty())
        line += QStringLiteral(" step=") + fieldValue(step);
    line += QStringLiteral(" what=") + fieldValue(what);
    std::fflush(stdout);
    printLine(line);
    std::_Exit(3);
}

// The text an operator reads on a control: its caption for a window, else
// what the control shows.
QString widgetText(const QWidget *w)
{
    if (w->isWindow())
        return w->windowTitle();
    if (auto *l = qobject_cast<const QLabel *>(w))
        return l->text();
    if (auto *e = qobject_cast<const QLineEdit *>(w))
        return e->text();
    if (auto *b = qobject_cast<const QAbstractButton *>(w))
        return b->text();
    if (auto *p = qobject_cast<const QPlainTextEdit *>(w))
        return p->toPlainText();
    if (auto *t = qobject_cast<const QTextEdit *>(w))
        return t->toPlainText();
    if (auto *c = qobject_cast<const QComboBox *>(w))
        return c->currentText();
    if (auto *g = qobject_cast<const QGroupBox *>(w))
        return g->title();
    const QVariant v = w->property("text");
    if (v.isValid())
        return v.toString();
    return w->windowTitle();
}

class Driver final : public QObject
{
public:
    Driver(std::vector<Step> steps, std::int64_t t0Ns, bool t0FromEnv)
        : QObject(QCoreApplication::instance()), m_script(std::move(steps)), m_t0Ns(t0Ns), m_t0FromEnv(t0FromEnv)
    {
        m_timeout.setSingleShot(true);
        connect(&m_timeout, &QTimer::timeout, this, [this] { onTimeout(); });
        m_poll.setInterval(5);
        connect(&m_poll, &QTimer::timeout, this, [this] { checkUntil(); });
        m_boxPoll.setInterval(10);
        connect(&m_boxPoll, &QTimer::timeout, this, [this] { answerBox(); });
        m_frames.push_back({&m_script, 0, 1, 0});
        // Watch every event of the application until Form1 turns up, so its
        // first paint is seen even if it comes before the event loop reaches us.
        QCoreApplication::instance()->installEventFilter(this);
        printLine(QStringLiteral("start t0=%1 load_ms=%2 steps=%3")
                      .arg(m_t0FromEnv ? QStringLiteral("env") : QStringLiteral("load"), ms(sinceT0(g_loadNs)))
                      .arg(m_script.size()));
        scheduleNext();
    }

protected:
    bool eventFilter(QObject *obj, QEvent *e) override
    {
        const QEvent::Type type = e->type();
        if (type == QEvent::Paint || type == QEvent::Show) {
            if (!m_form && obj->isWidgetType()) {
                auto *w = static_cast<QWidget *>(obj);
                if (w->isWindow() && w->objectName() == u"Form1")
                    adoptForm(w);
            }
            if (type == QEvent::Paint && obj == m_form && m_firstPaintNs == 0)
                notePaint();
        } else if (type == QEvent::MouseButtonRelease && obj == m_clickTarget && !m_releaseTimer.isValid()) {
            m_releaseTimer.start();
        }
        return false;
    }

private:
    struct Frame
    {
        const std::vector<Step> *steps;
        std::size_t index;
        std::int64_t remaining; // passes left, counting the current one
        int repeatDepth;        // how many repeats enclose these steps
    };

    double sinceT0(std::int64_t ns) const { return double(ns - m_t0Ns) / 1e6; }

    void adoptForm(QWidget *w)
    {
        m_form = w;
        QCoreApplication::instance()->removeEventFilter(this);
        w->installEventFilter(this);
    }

    QWidget *form()
    {
        if (!m_form) {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                if (w->objectName() == u"Form1") {
                    adoptForm(w);
                    break;
                }
            }
        }
        return m_form;
    }

    void notePaint()
    {
        m_firstPaintNs = realtimeNs();
        // Posted events run after the paint of the whole window is done and
        // flushed, so this marks the moment the first frame is complete.
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_frameDoneNs = realtimeNs();
                if (m_waiting == StepKind::Paint)
                    finishPaint();
            },
            Qt::QueuedConnection);
    }

    void scheduleNext()
    {
        // Always go back to the event loop between steps: the next step must
        // never run inside the event handler that completed the previous one.
        QMetaObject::invokeMethod(this, [this] { runNext(); }, Qt::QueuedConnection);
    }

    void runNext()
    {
        while (!m_frames.empty()) {
            Frame &f = m_frames.back();
            if (f.index < f.steps->size()) {
                m_step = &(*f.steps)[f.index++];
                execute(*m_step, f.repeatDepth);
                return;
            }
            if (f.remaining > 1) {
                --f.remaining;
                f.index = 0;
                continue;
            }
            const int depth = f.repeatDepth;
            m_frames.pop_back();
            if (depth == 1)
                printClickSummary();
        }
        printLine(QStringLiteral("done"));
    }

    void execute(const Step &s, int repeatDepth)
    {
        m_inRepeat = repeatDepth > 0;
        switch (s.kind) {
        case StepKind::Paint: return startPaint(s);
        case StepKind::Click: return startClick(s);
        case StepKind::Wait:
            m_waiting = StepKind::Wait;
            QTimer::singleShot(std::chrono::milliseconds(s.number), this, [this] {
                m_waiting.reset();
                scheduleNext();
            });
            return;
        case StepKind::Until: return startUntil(s);
        case StepKind::Text: {
            QWidget *w = control(s);
            printLine(QStringLiteral("text name=%1 value=%2").arg(fieldValue(s.name), fieldValue(widgetText(w))));
            return scheduleNext();
        }
        case StepKind::Texts: return texts();
        case StepKind::Grab: return grab(s);
        case StepKind::Memory: return memory();
        case StepKind::Boxes:
            // Timers run inside a box's own event loop too, so the box is
            // answered while the handler that opened it waits for it.
            m_boxPoll.start();
            return scheduleNext();
        case StepKind::Repeat:
            m_frames.push_back({&s.body, 0, s.number, repeatDepth + 1});
            return scheduleNext();
        case StepKind::Close: return closeForm();
        }
    }

    QWidget *requireForm(const Step &s)
    {
        QWidget *f = form();
        if (!f)
            failAndExit(s.source, QStringLiteral("no top-level window named Form1"));
        return f;
    }

    QWidget *control(const Step &s)
    {
        QWidget *f = requireForm(s);
        if (s.name == u"Form1")
            return f;
        const QList<QWidget *> found = f->findChildren<QWidget *>(s.name);
        if (found.isEmpty())
            failAndExit(s.source, QStringLiteral("Form1 has no control named %1").arg(s.name));
        if (found.size() > 1)
            failAndExit(s.source, QStringLiteral("%1 controls are named %2").arg(found.size()).arg(s.name));
        return found.front();
    }

    void armTimeout(std::int64_t limitMs)
    {
        m_timeout.start(std::chrono::milliseconds(limitMs));
    }

    void onTimeout()
    {
        if (!m_waiting || !m_step)
            return;
        const Step &s = *m_step;
        switch (*m_waiting) {
        case StepKind::Paint:
            failAndExit(s.source, QStringLiteral("Form1 %1 within %2 ms")
                                      .arg(m_form ? QStringLiteral("was not painted") : QStringLiteral("did not appear"))
                                      .arg(s.number));
        case StepKind::Click:
            failAndExit(s.source, QStringLiteral("%1 did not report a click within %2 ms").arg(s.name).arg(s.number));
        case StepKind::Until:
            failAndExit(s.source, QStringLiteral("timeout after %1 ms; text is %2")
                                      .arg(s.number)
                                      .arg(fieldValue(widgetText(control(s)))));
        default:
            return;
        }
    }

    // ---- paint -------------------------------------------------------------

    void startPaint(const Step &s)
    {
        if (m_frameDoneNs != 0)
            return finishPaint();
        m_waiting = StepKind::Paint;
        armTimeout(s.number);
    }

    void finishPaint()
    {
        m_timeout.stop();
        m_waiting.reset();
        if (!m_paintPrinted) {
            m_paintPrinted = true;
            printLine(QStringLiteral("paint ms=%1 frame_ms=%2 t0=%3")
                          .arg(ms(sinceT0(m_firstPaintNs)), ms(sinceT0(m_frameDoneNs)),
                               m_t0FromEnv ? QStringLiteral("env") : QStringLiteral("load")));
        }
        scheduleNext();
    }

    // ---- click -------------------------------------------------------------

    void startClick(const Step &s)
    {
        QWidget *w = control(s);
        auto *button = qobject_cast<QAbstractButton *>(w);
        if (!button)
            failAndExit(s.source, QStringLiteral("%1 is a %2, not a button").arg(s.name, QLatin1StringView(w->metaObject()->className())));
        if (!button->isVisible())
            failAndExit(s.source, QStringLiteral("%1 is not visible").arg(s.name));
        if (!button->isEnabled())
            failAndExit(s.source, QStringLiteral("%1 is disabled").arg(s.name));
        // After a box, the window becomes active again through a window
        // system event that may come after this step; a click that comes
        // first is lost. Wait for it, but not for ever: a window system
        // without activation never sends it.
        if (m_boxAnswered.isValid() && !button->window()->isActiveWindow() && m_boxAnswered.elapsed() < 1000) {
            QTimer::singleShot(5, this, [this, &s] { startClick(s); });
            return;
        }
        m_boxAnswered.invalidate();

        m_clickTarget = button;
        m_releaseTimer.invalidate();
        button->installEventFilter(this);
        // Connected after the window's own handlers, so this runs once they
        // return. A button of a group runs its handler from the group's
        // signals, which come after the button's own.
        if (QButtonGroup *group = button->group())
            m_clickConnection = connect(group, &QButtonGroup::buttonClicked, this, [this, button](QAbstractButton *clicked) {
                if (clicked == button)
                    finishClick();
            });
        else
            m_clickConnection = connect(button, &QAbstractButton::clicked, this, [this] { finishClick(); });

        // Deliver the press and release to the window like the platform does
        // for a real mouse: the window finds the control under the pointer.
        const QPointF local = QRectF(button->rect()).center();
        const QPointF global = button->mapToGlobal(local);
        QObject *receiver = button;
        QPointF pos = local;
        if (QWidget *top = button->window(); top->windowHandle()) {
            receiver = top->windowHandle();
            pos = button->mapTo(top, local);
        }
        m_waiting = StepKind::Click;
        armTimeout(s.number);
        m_clickTotal.start();
        QCoreApplication::postEvent(receiver, new QMouseEvent(QEvent::MouseButtonPress, pos, global, Qt::LeftButton,
                                                              Qt::LeftButton, Qt::NoModifier));
        QCoreApplication::postEvent(receiver, new QMouseEvent(QEvent::MouseButtonRelease, pos, global, Qt::LeftButton,
                                                              Qt::NoButton, Qt::NoModifier));
    }

    void finishClick()
    {
        const double handlerMs = m_releaseTimer.isValid() ? double(m_releaseTimer.nsecsElapsed()) / 1e6 : 0.0;
        const double totalMs = double(m_clickTotal.nsecsElapsed()) / 1e6;
        disconnect(m_clickConnection);
        if (m_clickTarget)
            m_clickTarget->removeEventFilter(this);
        m_clickTarget = nullptr;
        m_timeout.stop();
        m_waiting.reset();
        const QString &name = m_step->name;
        if (m_inRepeat)
            m_clickTimes[name].push_back(handlerMs);
        else
            printLine(QStringLiteral("click name=%1 handler_ms=%2 total_ms=%3").arg(fieldValue(name), ms(handlerMs), ms(totalMs)));
        scheduleNext();
    }

    void printClickSummary()
    {
        for (auto &[name, times] : m_clickTimes) {
            double sum = 0, lo = times.front(), hi = times.front();
            for (double t : times) {
                sum += t;
                lo = std::min(lo, t);
                hi = std::max(hi, t);
            }
            printLine(QStringLiteral("clicks name=%1 count=%2 median_ms=%3 mean_ms=%4 min_ms=%5 max_ms=%6")
                          .arg(fieldValue(name))
                          .arg(times.size())
                          .arg(ms(median(times)), ms(sum / double(times.size())), ms(lo), ms(hi)));
        }
        m_clickTimes.clear();
    }

    // ---- until -------------------------------------------------------------

    void startUntil(const Step &s)
    {
        control(s); // fails at once on an unknown name
        m_waiting = StepKind::Until;
        m_untilTimer.start();
        armTimeout(s.number);
        m_poll.start();
        checkUntil();
    }

    void checkUntil()
    {
        if (m_waiting != StepKind::Until)
            return;
        const Step &s = *m_step;
        const QString text = widgetText(control(s));
        bool met = false;
        if (s.match == Match::AtLeast) {
            bool whole = false;
            const qlonglong value = text.toLongLong(&whole);
            met = whole && value >= s.text.toLongLong();
        } else {
            met = s.match == Match::Equals ? text == s.text : text.contains(s.text);
        }
        if (!met)
            return;
        m_poll.stop();
        m_timeout.stop();
        m_waiting.reset();
        printLine(QStringLiteral("until name=%1 ms=%2").arg(fieldValue(s.name), ms(double(m_untilTimer.nsecsElapsed()) / 1e6)));
        scheduleNext();
    }

    // ---- texts, grab, memory, close ----------------------------------------

    // Everything an operator reads on the window: the text of the window and
    // of every control named by the program (Qt's own inner widgets are
    // named qt_*), each entry of a list, and the name a screen reader gives
    // a control where the program set one.
    void texts()
    {
        QWidget *f = requireForm(*m_step);
        QList<QWidget *> widgets{f};
        widgets += f->findChildren<QWidget *>();
        for (QWidget *w : std::as_const(widgets)) {
            const QString name = w->objectName();
            if (name.isEmpty() || name.startsWith(QLatin1StringView("qt_")))
                continue;
            printLine(QStringLiteral("text name=%1 value=%2").arg(fieldValue(name), fieldValue(widgetText(w))));
            if (auto *c = qobject_cast<QComboBox *>(w))
                for (int i = 0; i < c->count(); ++i)
                    printLine(QStringLiteral("item name=%1 index=%2 value=%3")
                                  .arg(fieldValue(name))
                                  .arg(i)
                                  .arg(fieldValue(c->itemText(i))));
            if (!w->accessibleName().isEmpty())
                printLine(QStringLiteral("accessible name=%1 value=%2").arg(fieldValue(name), fieldValue(w->accessibleName())));
        }
        scheduleNext();
    }

    void grab(const Step &s)
    {
        QWidget *f = requireForm(s);
        QElapsedTimer t;
        t.start();
        const QPixmap pixmap = f->grab();
        if (pixmap.isNull())
            failAndExit(s.source, QStringLiteral("grabbing Form1 gave no picture"));
        if (!pixmap.save(s.text, "PNG"))
            failAndExit(s.source, QStringLiteral("cannot write %1").arg(s.text));
        printLine(QStringLiteral("grab path=%1 width=%2 height=%3 ms=%4")
                      .arg(fieldValue(s.text))
                      .arg(pixmap.width())
                      .arg(pixmap.height())
                      .arg(ms(double(t.nsecsElapsed()) / 1e6)));
        scheduleNext();
    }

    void memory()
    {
        QFile f(QStringLiteral("/proc/self/status"));
        if (!f.open(QIODevice::ReadOnly))
            failAndExit(m_step->source, QStringLiteral("cannot read /proc/self/status"));
        const QByteArray status = f.readAll();
        const auto hwm = statusFieldKb(status, "VmHWM");
        const auto rss = statusFieldKb(status, "VmRSS");
        if (!hwm || !rss)
            failAndExit(m_step->source, QStringLiteral("no VmHWM/VmRSS in /proc/self/status"));
        printLine(QStringLiteral("memory hwm_kb=%1 rss_kb=%2 hwm_mb=%3 rss_mb=%4")
                      .arg(*hwm)
                      .arg(*rss)
                      .arg(QString::number(double(*hwm) / 1024.0, 'f', 2), QString::number(double(*rss) / 1024.0, 'f', 2)));
        scheduleNext();
    }

    void answerBox()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        printLine(QStringLiteral("box title=%1 text=%2").arg(fieldValue(box->windowTitle()), fieldValue(box->text())));
        m_boxAnswered.start();
        QAbstractButton *button = box->defaultButton();
        if (!button)
            button = box->escapeButton();
        if (button)
            button->click();
        else
            box->done(QMessageBox::Ok);
    }

    void closeForm()
    {
        QWidget *f = requireForm(*m_step);
        // The window may end the process as soon as it closes: everything is
        // printed and flushed before.
        printLine(QStringLiteral("close"));
        printLine(QStringLiteral("done"));
        std::fflush(stdout);
        f->close();
    }

    std::vector<Step> m_script;
    std::vector<Frame> m_frames;
    const Step *m_step = nullptr;
    std::optional<StepKind> m_waiting;
    bool m_inRepeat = false;

    const std::int64_t m_t0Ns;
    const bool m_t0FromEnv;
    QPointer<QWidget> m_form;
    std::int64_t m_firstPaintNs = 0;
    std::int64_t m_frameDoneNs = 0;
    bool m_paintPrinted = false;

    QTimer m_timeout;
    QTimer m_poll;
    QTimer m_boxPoll;
    QElapsedTimer m_boxAnswered; // since the last box was answered
    QElapsedTimer m_untilTimer;

    QPointer<QAbstractButton> m_clickTarget;
    QMetaObject::Connection m_clickConnection;
    QElapsedTimer m_releaseTimer;
    QElapsedTimer m_clickTotal;
    std::map<QString, std::vector<double>> m_clickTimes;
};

void startDriver()
{
    const QByteArray script = qgetenv("KV718ST_DRIVE");
    if (script.isNull())
        return;
    ParseResult parsed = parseScript(QString::fromUtf8(script));
    if (!parsed.ok())
        failAndExit(QString(), QStringLiteral("KV718ST_DRIVE: ") + parsed.error);

    std::int64_t t0 = g_loadNs;
    bool fromEnv = false;
    const QByteArray t0Text = qgetenv("KV718ST_DRIVE_T0");
    if (!t0Text.isEmpty()) {
        const auto v = parseEpochNs(t0Text);
        if (!v)
            failAndExit(QString(), QStringLiteral("KV718ST_DRIVE_T0 is not a count of nanoseconds: ") + QString::fromUtf8(t0Text));
        t0 = *v;
        fromEnv = true;
    }
    new Driver(std::move(parsed.steps), t0, fromEnv); // owned by the application object
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(startDriver)
