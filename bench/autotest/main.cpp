// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

// The automatic test's running costs, measured in the process: the real
// window Form1, offscreen, on a reader that answers at once. The test is
// started and stopped with clicks on its toggle, and while it runs a second
// thread asks at random moments for clicks on the buzzer button, as an
// operator would give them.
//
// Figures: processor use per window of passes and overall, the period
// between passes, how late the 10 ms waits between steps end, the latency of
// an operator's click, and the growth of peak memory. See bench/README.md.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QRegularExpression>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QTimer>
#include <QWindow>

#include "BenchStats.h"
#include "Form1.h"
#include "InstantReader.h"
#include "PreciseWake.h"
#include "ProcessCounters.h"

using namespace kv;

namespace {

using kv::bench::monotonicMs;
using kv::bench::Summary;

constexpr double kStepWaitMs = 10;          // the wait after each step
constexpr double kPassMs = 120;             // 11 steps and the pass interval, 10 ms each
constexpr double kCpuTargetPercent = 2.0;   // of one core
constexpr double kPeriodTargetMs = 1.02 * kPassMs;
constexpr double kLatenessTargetMs = 0.5;   // p99
constexpr double kClickTargetMs = 12;       // p99
constexpr double kMemoryTargetKb = 1024;    // growth of the peak
constexpr std::uint8_t kPassBeep = 30;      // the test's own beep at step 10
constexpr std::uint8_t kButtonBeep = 33;    // what the buzzer button sends (txtBuzzerValue)

double processCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// Read with plain system calls into a buffer on the stack, so that taking
// the figure allocates nothing.
std::optional<long> readVmHwmKb()
{
    const int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    char buffer[8192];
    std::size_t size = 0;
    while (size < sizeof buffer) {
        const ssize_t n = ::read(fd, buffer + size, sizeof buffer - size);
        if (n <= 0)
            break;
        size += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return kv::bench::vmHwmKb(std::string_view(buffer, size));
}

// The load averages over 1, 5 and 15 minutes.
std::string loadAverage()
{
    double load[3] = {-1, -1, -1};
    if (FILE *f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf %lf %lf", &load[0], &load[1], &load[2]) != 3)
            load[0] = load[1] = load[2] = -1;
        std::fclose(f);
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.2f %.2f %.2f", load[0], load[1], load[2]);
    return text;
}

struct Options
{
    int passes = 1000;
    int window = 10;
    int warmup = 50;
    bool clicks = true;
    bool failing = false; // references emptied: every step fails
    int clickMinMs = 100;
    int clickMaxMs = 400;
    unsigned seed = 1;
};

// Asks the window's thread for a buzzer click; carries the moment it was
// posted.
class ClickRequest final : public QEvent
{
public:
    static QEvent::Type eventType()
    {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    explicit ClickRequest(double posted) : QEvent(eventType()), postedMs(posted) {}
    const double postedMs;
};

// Posts a left-button press and release in the middle of `button`, as the
// window system delivers an operator's click.
void postClick(QWidget *button)
{
    const QPointF local = QRectF(button->rect()).center();
    const QPointF scene = button->mapTo(button->window(), local);
    const QPointF global = button->mapToGlobal(local);
    QCoreApplication::postEvent(button, new QMouseEvent(QEvent::MouseButtonPress, local, scene, global,
                                                        Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(button, new QMouseEvent(QEvent::MouseButtonRelease, local, scene, global,
                                                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
}

class AutoTestBench final : public QObject
{
public:
    explicit AutoTestBench(const Options &options);
    ~AutoTestBench() override;

    // Shows the window and takes the reference readings with read-all.
    bool prepare();
    // Starts the test with a click; the event loop then runs it.
    void start();
    int exitCode() const { return m_exitCode; }

protected:
    bool event(QEvent *event) override;

private:
    template<typename T>
    T *control(const char *name) const;
    bool waitFor(const std::function<bool()> &condition, int limitMs);

    void onRequest(std::uint8_t format);
    void onBeep(std::uint8_t value);
    void onLogChanged();
    void startClicker();
    void stopClicker();
    void stopTest();
    void finish();
    void fail(const char *what);
    void watch();

    Options m_options;
    InstantReader m_reader;
    std::unique_ptr<Form1> m_form;
    QAbstractButton *m_toggle = nullptr;
    QAbstractButton *m_buzzer = nullptr;
    QPlainTextEdit *m_log = nullptr;
    int m_boxes = 0;
    int m_exitCode = 1;

    // Recording; every buffer is sized before the test starts.
    bool m_armed = false;
    int m_pass = -1;               // index of the pass under way
    std::uint8_t m_step = 0;       // format of the last read
    std::vector<kv::bench::PassTimes> m_times;
    std::vector<double> m_cpuAtPass;
    std::vector<double> m_wallAtPass;
    kv::bench::ProcessCounters m_countersFirst; // at the start of the first pass measured
    kv::bench::ProcessCounters m_countersLast;  // at the start of the pass after the last
    std::optional<long> m_hwmWarm;
    std::optional<long> m_hwmEnd;
    std::string m_loadStart;
    long m_passBeeps = 0;
    long m_otherBeeps = 0;

    // Clicks: posted by the clicker thread, answered by beep(0, 33).
    std::vector<double> m_clickPosted;   // FIFO of post times, main thread
    std::size_t m_clickHead = 0;
    std::size_t m_clickTail = 0;
    std::vector<double> m_clickLatency;  // post to beep
    std::vector<double> m_clickQueueing; // post to the window's thread taking the request
    long m_clicksDropped = 0;
    std::thread m_clicker;
    std::mutex m_clickerMutex;
    std::condition_variable m_clickerWake;
    bool m_clickerStop = false;
    std::atomic<long> m_clicksPosted{0};

    QTimer m_watchdog;
    int m_watchedPass = -2;
    int m_stalledSeconds = 0;
};

AutoTestBench::AutoTestBench(const Options &options) : m_options(options)
{
    (void)ClickRequest::eventType(); // registered before the clicker thread exists

    Form1::Hooks hooks;
    hooks.messageBox = [this](QWidget *, QMessageBox::Icon, const QString &text) {
        ++m_boxes;
        std::fprintf(stderr, "kv_bench_autotest: message box: %s\n", text.toUtf8().constData());
    };
    hooks.endProgram = [] {
        std::fprintf(stderr, "kv_bench_autotest: the window ended the program\n");
        std::_Exit(1);
    };
    m_form = std::make_unique<Form1>(m_reader, hooks);
    m_toggle = control<QAbstractButton>("cmdZiDongCeShi");
    m_buzzer = control<QAbstractButton>("cmdBuzzer");
    m_log = control<QPlainTextEdit>("txtTestResult");

    const auto passes = static_cast<std::size_t>(m_options.passes);
    m_times.assign(passes + 1, kv::bench::emptyPassTimes());
    m_cpuAtPass.assign(passes + 1, 0.0);
    m_wallAtPass.assign(passes + 1, 0.0);
    if (m_options.clicks) {
        // At most one click per clickMinMs over the whole run, with room to spare.
        const double runMs = (m_options.passes + 2) * kPassMs * 1.5;
        const auto most = static_cast<std::size_t>(runMs / std::max(1, m_options.clickMinMs)) + 64;
        m_clickPosted.assign(most, 0.0);
        m_clickLatency.reserve(most);
        m_clickQueueing.reserve(most);
    }

    m_reader.onRequest = [this](std::uint8_t format) { onRequest(format); };
    m_reader.onBeep = [this](std::uint8_t value) { onBeep(value); };
    connect(m_log, &QPlainTextEdit::textChanged, this, [this] { onLogChanged(); });
    connect(&m_watchdog, &QTimer::timeout, this, [this] { watch(); });
}

AutoTestBench::~AutoTestBench() { stopClicker(); }

template<typename T>
T *AutoTestBench::control(const char *name) const
{
    T *widget = m_form->findChild<T *>(QString::fromLatin1(name));
    if (!widget)
        qFatal("kv_bench_autotest: Form1 has no control %s", name);
    return widget;
}

bool AutoTestBench::waitFor(const std::function<bool()> &condition, int limitMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > limitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

bool AutoTestBench::prepare()
{
    m_form->show();
    if (!waitFor([this] { return m_form->windowHandle() && m_form->windowHandle()->isExposed(); }, 5000)) {
        std::fprintf(stderr, "kv_bench_autotest: the window was never exposed\n");
        return false;
    }
    // Let the first frame be painted before anything is measured.
    waitFor([] { return false; }, 100);

    postClick(control<QAbstractButton>("cmdReadAll"));
    if (!waitFor([this] { return m_reader.requests == 11 && m_reader.closes == 1; }, 5000)) {
        std::fprintf(stderr, "kv_bench_autotest: read-all did not read the card (%ld reads)\n", m_reader.requests);
        return false;
    }
    if (control<QLineEdit>("txtZiFu_10")->text().isEmpty()) {
        std::fprintf(stderr, "kv_bench_autotest: read-all left no reference reading\n");
        return false;
    }
    // Without references every step fails, is logged as an error and counted
    // as a failure, as on a first start before any read-all.
    if (m_options.failing)
        for (QLineEdit *reference : m_form->findChildren<QLineEdit *>(QRegularExpression(QStringLiteral("^txtZiFu_"))))
            reference->clear();
    waitFor([] { return false; }, 100);
    return true;
}

void AutoTestBench::start()
{
    m_loadStart = loadAverage();
    m_armed = true;
    postClick(m_toggle);
    m_watchdog.start(1000);
}

void AutoTestBench::onRequest(std::uint8_t format)
{
    if (!m_armed)
        return;
    const double now = monotonicMs();
    if (format == 0) {
        if (m_pass >= m_options.passes)
            return fail("a read after the last pass");
        ++m_pass;
        const auto p = static_cast<std::size_t>(m_pass);
        m_cpuAtPass[p] = processCpuMs();
        m_wallAtPass[p] = now;
        if (m_pass == 0)
            m_countersFirst = kv::bench::readProcessCounters();
        if (m_pass == m_options.passes)
            m_countersLast = kv::bench::readProcessCounters();
        if (m_pass == m_options.warmup && m_options.warmup < m_options.passes)
            m_hwmWarm = readVmHwmKb();
        if (m_pass == 0)
            startClicker();
        if (m_pass == m_options.passes) {
            m_hwmEnd = readVmHwmKb();
            stopClicker();
        }
    }
    if (m_pass < 0 || format >= kv::bench::kStepsPerPass)
        return fail("an unexpected read");
    // Of the pass after the last one only its start is kept: it ends the
    // last period.
    if (m_pass < m_options.passes || format == 0)
        m_times[static_cast<std::size_t>(m_pass)].read[format] = now;
    m_step = format;
    if (m_pass == m_options.passes && format == 10)
        QTimer::singleShot(0, this, [this] { stopTest(); });
}

// A step updates the log after its read; its last update is the step's last
// work before its wait. The clearing at the start of the next pass leaves
// the log empty and is not a step's work.
void AutoTestBench::onLogChanged()
{
    if (!m_armed || m_pass < 0 || m_pass >= m_options.passes || m_log->document()->isEmpty())
        return;
    m_times[static_cast<std::size_t>(m_pass)].logDone[m_step] = monotonicMs();
}

void AutoTestBench::onBeep(std::uint8_t value)
{
    const double now = monotonicMs();
    if (value == kPassBeep) {
        ++m_passBeeps;
        return;
    }
    if (value != kButtonBeep || m_clickHead == m_clickTail) {
        ++m_otherBeeps;
        return;
    }
    m_clickLatency.push_back(now - m_clickPosted[m_clickHead++]);
}

bool AutoTestBench::event(QEvent *event)
{
    if (event->type() != ClickRequest::eventType())
        return QObject::event(event);
    const double posted = static_cast<ClickRequest *>(event)->postedMs;
    if (m_clickTail == m_clickPosted.size()) {
        ++m_clicksDropped;
        return true;
    }
    m_clickQueueing.push_back(monotonicMs() - posted);
    m_clickPosted[m_clickTail++] = posted;
    postClick(m_buzzer);
    return true;
}

void AutoTestBench::startClicker()
{
    if (!m_options.clicks || m_clicker.joinable())
        return;
    m_clicker = std::thread([this] {
        std::mt19937 random(m_options.seed);
        std::uniform_real_distribution<double> pause(m_options.clickMinMs, m_options.clickMaxMs);
        std::unique_lock lock(m_clickerMutex);
        while (true) {
            const auto gap = std::chrono::duration<double, std::milli>(pause(random));
            if (m_clickerWake.wait_for(lock, gap, [this] { return m_clickerStop; }))
                return;
            QCoreApplication::postEvent(this, new ClickRequest(monotonicMs()));
            ++m_clicksPosted;
        }
    });
}

void AutoTestBench::stopClicker()
{
    {
        const std::lock_guard lock(m_clickerMutex);
        m_clickerStop = true;
    }
    m_clickerWake.notify_all();
    if (m_clicker.joinable())
        m_clicker.join();
}

void AutoTestBench::stopTest()
{
    postClick(m_toggle);
    // Clicks still under way are answered within a few milliseconds.
    QTimer::singleShot(300, this, [this] { finish(); });
}

void AutoTestBench::fail(const char *what)
{
    std::fprintf(stderr, "kv_bench_autotest: %s (pass %d, step %d)\n", what, m_pass, m_step);
    m_armed = false;
    stopClicker();
    m_exitCode = 1;
    QCoreApplication::exit(1);
}

void AutoTestBench::watch()
{
    if (m_pass != m_watchedPass) {
        m_watchedPass = m_pass;
        m_stalledSeconds = 0;
    } else if (++m_stalledSeconds >= 5) {
        fail("the test made no progress for 5 s");
    }
}

void printRow(const char *name, const Summary &s, const char *target, bool pass)
{
    std::printf("%-40s %7zu %9.3f %9.3f %9.3f %9.3f  %-16s %s\n", name, s.count, s.min, s.p50, s.p99, s.max, target,
                pass ? "PASS" : "MISS");
}

void printInfoRow(const char *name, const Summary &s)
{
    std::printf("%-40s %7zu %9.3f %9.3f %9.3f %9.3f  %-16s %s\n", name, s.count, s.min, s.p50, s.p99, s.max, "-",
                "info");
}

std::vector<double> minus(std::vector<double> values, double amount)
{
    for (double &v : values)
        v -= amount;
    return values;
}

void AutoTestBench::finish()
{
    m_watchdog.stop();
    m_armed = false;
    stopClicker();
    const std::string loadEnd = loadAverage();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);

    if (m_toggle->text() != QStringLiteral("自动测试开始") || m_form->port().isOpen()) {
        std::fprintf(stderr, "kv_bench_autotest: the test did not stop on its toggle\n");
        QCoreApplication::exit(1);
        return;
    }

    const auto passes = static_cast<std::size_t>(m_options.passes);
    const kv::bench::StepFigures steps = kv::bench::stepFigures(m_times);
    const std::vector<double> shares =
        kv::bench::windowShares(m_cpuAtPass, m_wallAtPass, static_cast<std::size_t>(m_options.window));
    const double overall = kv::bench::overallShare(m_cpuAtPass, m_wallAtPass);
    const double wallMs = m_wallAtPass[passes] - m_wallAtPass[0];

    const Summary cpu = kv::bench::summarize(shares);
    const Summary period = kv::bench::summarize(steps.periods);
    const Summary lateness = kv::bench::summarize(minus(steps.waits, kStepWaitMs));
    const Summary waits = kv::bench::summarize(steps.waits);
    const Summary gapLateness = kv::bench::summarize(minus(steps.readGaps, kStepWaitMs));
    const Summary work = kv::bench::summarize(steps.work);
    const Summary turns = kv::bench::summarize(steps.turns);
    const Summary click = kv::bench::summarize(m_clickLatency);
    const Summary queueing = kv::bench::summarize(m_clickQueueing);

    Summary whole;
    whole.count = 1;
    whole.min = whole.p50 = whole.p99 = whole.max = whole.mean = overall;

    const bool cpuPass = cpu.count > 0 && cpu.p99 <= kCpuTargetPercent;
    const bool overallPass = overall <= kCpuTargetPercent;
    const bool periodPass = period.count > 0 && period.p99 <= kPeriodTargetMs;
    const bool latePass = lateness.count > 0 && lateness.p99 <= kLatenessTargetMs;
    const bool earlyPass = waits.count > 0 && waits.min >= kStepWaitMs;
    const bool clickPass = !m_options.clicks || (click.count > 0 && click.p99 <= kClickTargetMs);

    std::printf("automatic test, %d passes of 11 steps; Form1 offscreen on a reader that answers at once; %s\n",
                m_options.passes, m_options.failing ? "no references, every step fails" : "every step passes");
    std::printf("load average (1/5/15 min) at start: %s  at end: %s\n", m_loadStart.c_str(), loadEnd.c_str());
    std::printf("wall %.1f s, processor %.3f s user + %.3f s sys for the whole process\n", wallMs / 1000.0,
                static_cast<double>(usage.ru_utime.tv_sec) + static_cast<double>(usage.ru_utime.tv_usec) / 1e6,
                static_cast<double>(usage.ru_stime.tv_sec) + static_cast<double>(usage.ru_stime.tv_usec) / 1e6);
    std::printf("%-40s %7s %9s %9s %9s %9s  %-16s %s\n", "figure", "n", "min", "p50", "p99", "max", "target",
                "result");
    char label[64];
    std::snprintf(label, sizeof label, "processor %% of one core, %d-pass windows", m_options.window);
    printRow(label, cpu, "p99 <= 2.00", cpuPass);
    printRow("processor % of one core, whole run", whole, "<= 2.00", overallPass);
    printRow("pass period ms", period, "p99 <= 122.40", periodPass);
    printRow("wait lateness ms (log done->read - 10)", lateness, "p99 <= 0.50", latePass);
    printRow("wait ms (log done->read), never early", waits, "min >= 10.00", earlyPass);
    printInfoRow("read->read gap - 10 ms (upper bound)", gapLateness);
    printInfoRow("step work ms (read->log done)", work);
    printInfoRow("pass turn ms (read 10->next read 0)", turns);
    if (m_options.clicks) {
        printRow("click latency ms (post->beep)", click, "p99 <= 12.00", clickPass);
        printInfoRow("click queueing ms (post->taken)", queueing);
    } else {
        std::printf("%-40s %s\n", "click latency ms (post->beep)", "not measured (--no-clicks)");
    }

    bool memoryPass = true;
    double growthKb = std::numeric_limits<double>::quiet_NaN();
    if (m_hwmWarm && m_hwmEnd) {
        growthKb = static_cast<double>(*m_hwmEnd - *m_hwmWarm);
        memoryPass = growthKb <= kMemoryTargetKb;
        std::printf("%-40s %.2f MB after %d passes, %.2f MB after %d: growth %+.3f MB  %-16s %s\n",
                    "peak memory (VmHWM)", static_cast<double>(*m_hwmWarm) / 1024.0, m_options.warmup,
                    static_cast<double>(*m_hwmEnd) / 1024.0, m_options.passes, growthKb / 1024.0, "<= 1.00 MB",
                    memoryPass ? "PASS" : "MISS");
    } else {
        std::printf("%-40s not measured (needs more passes than --warmup %d)\n", "peak memory (VmHWM)",
                    m_options.warmup);
    }
    const double wakes = double(m_countersLast.wakes - m_countersFirst.wakes) / double(passes);
    const std::optional<double> syscalls =
        m_countersLast.syscalls && m_countersFirst.syscalls
            ? std::optional(double(*m_countersLast.syscalls - *m_countersFirst.syscalls) / double(passes))
            : std::nullopt;
    std::printf("%-40s %.2f\n", "wakes of the window's thread per pass", wakes);
    if (syscalls)
        std::printf("%-40s %.2f\n", "system calls per pass", *syscalls);
    else
        std::printf("%-40s %s\n", "system calls per pass", "not counted (the kernel does not let this process)");
    std::printf("clicks: %ld asked for, %zu answered, %zu taken, %ld dropped; beeps of the passes %ld, "
                "other beeps %ld; message boxes %d\n",
                m_clicksPosted.load(), m_clickLatency.size(), m_clickTail, m_clicksDropped, m_passBeeps,
                m_otherBeeps, m_boxes);
    std::printf("(lateness: from the step's last log update, which ends its work, to the next read; it also holds"
                " the few instructions around the wait, so it is an upper bound. The wait after step 10 runs into"
                " the pass period and is not in these rows.)\n");
    std::printf("result: passes=%d cpu_p50=%.3f cpu_p99=%.3f cpu_max=%.3f cpu_overall=%.3f period_p50_ms=%.3f "
                "period_p99_ms=%.3f period_max_ms=%.3f late_p50_ms=%.3f late_p99_ms=%.3f late_max_ms=%.3f "
                "wait_min_ms=%.3f click_p50_ms=%.3f click_p99_ms=%.3f click_max_ms=%.3f memory_growth_kb=%.0f "
                "wakes_per_pass=%.2f syscalls_per_pass=%s all_targets=%s\n",
                m_options.passes, cpu.p50, cpu.p99, cpu.max, overall, period.p50, period.p99, period.max,
                lateness.p50, lateness.p99, lateness.max, waits.min, click.p50, click.p99, click.max, growthKb,
                wakes, syscalls ? QByteArray::number(*syscalls, 'f', 2).constData() : "n/a",
                cpuPass && overallPass && periodPass && latePass && earlyPass && clickPass && memoryPass ? "hold"
                                                                                                       : "missed");
    std::fflush(stdout);

    // Every pass and every step must have been seen, and every click answered.
    const bool complete = period.count == passes && waits.count == passes * 10 && work.count == passes * 11
                          && m_clickLatency.size() == m_clickTail && m_clicksDropped == 0 && m_otherBeeps == 0
                          && m_boxes == 0 && m_passBeeps >= m_options.passes;
    if (!complete)
        std::fprintf(stderr, "kv_bench_autotest: the run was not clean: %zu periods, %zu waits, %zu step works "
                             "for %zu passes (see also the clicks line)\n",
                     period.count, waits.count, work.count, passes);
    m_exitCode = complete ? 0 : 1;
    QCoreApplication::exit(m_exitCode);
}

std::optional<Options> parseOptions(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Runs the automatic test of the real window offscreen on a reader that answers at once and prints "
        "its processor use, wakes and system calls, pass period, lateness of the step waits, click latency and "
        "memory growth."));
    parser.addHelpOption();
    const QCommandLineOption passes(QStringLiteral("passes"), QStringLiteral("Passes to measure (default 1000)."),
                                    QStringLiteral("N"), QStringLiteral("1000"));
    const QCommandLineOption window(QStringLiteral("window"),
                                    QStringLiteral("Passes per processor-use window (default 10)."),
                                    QStringLiteral("N"), QStringLiteral("10"));
    const QCommandLineOption warmup(QStringLiteral("warmup"),
                                    QStringLiteral("Passes before the first peak-memory figure (default 50)."),
                                    QStringLiteral("N"), QStringLiteral("50"));
    const QCommandLineOption clickMin(QStringLiteral("click-min"),
                                      QStringLiteral("Shortest pause between buzzer clicks, ms (default 100)."),
                                      QStringLiteral("MS"), QStringLiteral("100"));
    const QCommandLineOption clickMax(QStringLiteral("click-max"),
                                      QStringLiteral("Longest pause between buzzer clicks, ms (default 400)."),
                                      QStringLiteral("MS"), QStringLiteral("400"));
    const QCommandLineOption noClicks(QStringLiteral("no-clicks"), QStringLiteral("Click nothing during the test."));
    const QCommandLineOption seed(QStringLiteral("seed"),
                                  QStringLiteral("Seed of the random click moments (default 1)."),
                                  QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption failing(
        QStringLiteral("failing"),
        QStringLiteral("Empty the reference readings before the test, so that every step fails."));
    parser.addOptions({passes, window, warmup, clickMin, clickMax, noClicks, failing, seed});
    parser.process(arguments);

    Options o;
    bool ok = true;
    const auto number = [&](const QCommandLineOption &option, int least) {
        bool good = false;
        const int value = parser.value(option).toInt(&good);
        if (!good || value < least) {
            std::fprintf(stderr, "kv_bench_autotest: --%s must be a whole number of at least %d\n",
                         option.names().constFirst().toUtf8().constData(), least);
            ok = false;
        }
        return value;
    };
    o.passes = number(passes, 1);
    o.window = number(window, 1);
    o.warmup = number(warmup, 0);
    o.clickMinMs = number(clickMin, 1);
    o.clickMaxMs = number(clickMax, 1);
    o.seed = static_cast<unsigned>(number(seed, 0));
    o.clicks = !parser.isSet(noClicks);
    o.failing = parser.isSet(failing);
    if (ok && o.clickMaxMs < o.clickMinMs) {
        std::fprintf(stderr, "kv_bench_autotest: --click-max must not be below --click-min\n");
        ok = false;
    }
    if (ok && o.window > o.passes) {
        std::fprintf(stderr, "kv_bench_autotest: --window must not exceed --passes\n");
        ok = false;
    }
    return ok ? std::optional(o) : std::nullopt;
}

} // namespace

int main(int argc, char **argv)
{
    kv::bench::startCountingSystemCalls(); // before any thread exists
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    requestPreciseWakeups(); // as the program does at its start
    QApplication app(argc, argv);
    const std::optional<Options> options = parseOptions(QApplication::arguments());
    if (!options)
        return 2;

    AutoTestBench bench(*options);
    if (!bench.prepare())
        return 1;
    bench.start();
    QApplication::exec();
    return bench.exitCode();
}
