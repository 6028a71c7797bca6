// bench-launch: starts a program as an operator would and watches it from outside,
// so the program runs exactly as shipped.
//
//   bench-launch startup RUNS FLOOR PANEL [ARGS...]
//       Starts FLOOR and PANEL in turn, RUNS times each after a warm-up, and times each
//       start from just before the process is created until its top-level window is
//       mapped (a MapNotify on the X server in DISPLAY) and, for PANEL, until it has
//       opened the serial line: "{pty}" in ARGS becomes a fresh pseudo-terminal held
//       here, and its opening is seen through inotify. Prints medians and their ratio.
//       With BENCH_BEFORE_PANEL set to an earlier build of the panel, that one starts in
//       each round too, with the same ARGS, before or after PANEL in turn.
//
//   bench-launch idle SECONDS SETTLE PROG [ARGS...]
//       Starts PROG, waits for its window and SETTLE more seconds, then measures the
//       processor time it uses over SECONDS and its memory at the end.
//
// Results are key=value lines on standard output for bench/run to gather.

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::duration<double, std::milli>;

[[noreturn]] void die(const std::string &what)
{
    std::fprintf(stderr, "bench-launch: %s\n", what.c_str());
    std::exit(1);
}

// The X server connection, listening for top-level windows being mapped.
class MapWatch
{
public:
    MapWatch()
    {
        m_display = XOpenDisplay(nullptr);
        if (!m_display)
            die("cannot open the X display");
        m_root = DefaultRootWindow(m_display);
        m_pidAtom = XInternAtom(m_display, "_NET_WM_PID", False);
        XSelectInput(m_display, m_root, SubstructureNotifyMask);
        XSync(m_display, False);
    }
    ~MapWatch() { XCloseDisplay(m_display); }
    MapWatch(const MapWatch &) = delete;
    MapWatch &operator=(const MapWatch &) = delete;

    int fd() const { return ConnectionNumber(m_display); }

    void discardPending()
    {
        XSync(m_display, False);
        while (XPending(m_display)) {
            XEvent e;
            XNextEvent(m_display, &e);
        }
    }

    // True once a top-level window of `pid` has been mapped.
    bool takeMapped(pid_t pid)
    {
        bool mapped = false;
        while (XPending(m_display)) {
            XEvent e;
            XNextEvent(m_display, &e);
            if (e.type == MapNotify && e.xmap.event == m_root && !e.xmap.override_redirect &&
                pidOf(e.xmap.window) == pid)
                mapped = true;
        }
        return mapped;
    }

private:
    std::optional<pid_t> pidOf(Window w)
    {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char *data = nullptr;
        std::optional<pid_t> pid;
        if (XGetWindowProperty(m_display, w, m_pidAtom, 0, 1, False, XA_CARDINAL, &type, &format,
                               &count, &after, &data) == Success &&
            data && format == 32 && count == 1)
            pid = static_cast<pid_t>(*reinterpret_cast<unsigned long *>(data));
        if (data)
            XFree(data);
        return pid;
    }

    Display *m_display = nullptr;
    Window m_root = 0;
    Atom m_pidAtom = None;
};

// A pseudo-terminal whose slave end the program under test opens.
class Pty
{
public:
    Pty()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
            die("cannot create a pseudo-terminal");
        m_path = ::ptsname(m_master);
        // Raw before anyone opens it, as a serial line would be.
        const int slave = ::open(m_path.c_str(), O_RDWR | O_NOCTTY);
        termios t{};
        if (slave >= 0 && ::tcgetattr(slave, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(slave, TCSANOW, &t);
        }
        if (slave >= 0)
            ::close(slave);
        // Only opens from now on are the program's.
        m_inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_inotify < 0 || ::inotify_add_watch(m_inotify, m_path.c_str(), IN_OPEN) < 0)
            die("cannot watch the pseudo-terminal");
    }
    ~Pty()
    {
        ::close(m_inotify);
        ::close(m_master);
    }
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    const std::string &path() const { return m_path; }
    int inotifyFd() const { return m_inotify; }

    bool takeOpened()
    {
        alignas(inotify_event) char buf[4096];
        bool opened = false;
        ssize_t n;
        while ((n = ::read(m_inotify, buf, sizeof buf)) > 0)
            opened = true;
        // Keep the line from filling up with whatever the program writes.
        while (::read(m_master, buf, sizeof buf) > 0) {
        }
        return opened;
    }

private:
    int m_master = -1;
    int m_inotify = -1;
    std::string m_path;
};

pid_t spawn(const std::vector<std::string> &argv)
{
    std::vector<char *> args;
    for (const auto &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        die("cannot start " + argv[0] + ": " + std::strerror(rc));
    return pid;
}

void stop(pid_t pid)
{
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Start {
    double mapped = 0;
    double opened = 0;
    double cpu = 0; // on a processor until then, all threads
    double ready() const { return std::max(mapped, opened); }
};

// Time on a processor so far, all threads, in milliseconds: schedstat counts it in
// nanoseconds where the tick-based utime and stime would round it to 10 ms.
double onCpuMs(pid_t pid)
{
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    double ns = 0;
    for (const auto &task : std::filesystem::directory_iterator(tasks))
        ns += std::strtod(readFile(task.path().string() + "/schedstat").c_str(), nullptr);
    return ns / 1e6;
}

// One start, timed until the window is up and (with a pty) the line is open.
Start timeStart(MapWatch &x, std::vector<std::string> argv, bool withPort)
{
    std::optional<Pty> pty;
    if (withPort) {
        pty.emplace();
        for (auto &a : argv)
            if (a == "{pty}")
                a = pty->path();
    }
    x.discardPending();
    const auto t0 = Clock::now();
    const pid_t pid = spawn(argv);
    std::optional<double> mapped, opened;
    if (!withPort)
        opened = 0.0;
    while (!mapped || !opened) {
        pollfd fds[2] = {{x.fd(), POLLIN, 0}, {pty ? pty->inotifyFd() : -1, POLLIN, 0}};
        if (::poll(fds, 2, 100) < 0 && errno != EINTR)
            die("poll failed");
        const double now = Millis(Clock::now() - t0).count();
        if (!mapped && x.takeMapped(pid))
            mapped = now;
        if (pty && pty->takeOpened() && !opened)
            opened = now;
        if (now > 30000)
            die("no window or no open line after 30 s from " + argv[0]);
    }
    // Frozen at once, so that what it did after being ready is not counted.
    ::kill(pid, SIGSTOP);
    const double cpu = onCpuMs(pid);
    ::kill(pid, SIGCONT);
    stop(pid);
    return {*mapped, *opened, cpu};
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

int startup(int runs, const std::vector<std::string> &floorArgv,
            const std::vector<std::string> &panelArgv)
{
    std::vector<std::string> beforeArgv;
    if (const char *before = std::getenv("BENCH_BEFORE_PANEL"); before && *before) {
        beforeArgv = panelArgv;
        beforeArgv[0] = before;
    }
    MapWatch x;
    // Caches, fonts and the settings file are warm for every counted run.
    for (int i = 0; i < 3; ++i) {
        timeStart(x, floorArgv, false);
        timeStart(x, panelArgv, true);
        if (!beforeArgv.empty())
            timeStart(x, beforeArgv, true);
    }
    std::vector<double> floorMs, panelMs, mappedMs, openedMs, ratios, floorCpu, panelCpu, cpuRatios;
    std::vector<double> beforeMs, beforeCpu, vsBefore, vsBeforeCpu;
    // In rounds, so that a busy moment on a shared machine hits all alike; a ratio is
    // the median of the rounds' ratios.
    for (int i = 0; i < runs; ++i) {
        const Start f = timeStart(x, floorArgv, false);
        std::optional<Start> b;
        if (!beforeArgv.empty() && i % 2)
            b = timeStart(x, beforeArgv, true);
        const Start p = timeStart(x, panelArgv, true);
        if (!beforeArgv.empty() && !b)
            b = timeStart(x, beforeArgv, true);
        floorMs.push_back(f.mapped);
        panelMs.push_back(p.ready());
        mappedMs.push_back(p.mapped);
        openedMs.push_back(p.opened);
        ratios.push_back(p.ready() / f.mapped);
        floorCpu.push_back(f.cpu);
        panelCpu.push_back(p.cpu);
        cpuRatios.push_back(p.cpu / f.cpu);
        if (b) {
            beforeMs.push_back(b->ready());
            beforeCpu.push_back(b->cpu);
            vsBefore.push_back(p.ready() / b->ready());
            vsBeforeCpu.push_back(p.cpu / b->cpu);
        }
    }
    std::printf("runs=%d\n", runs);
    std::printf("floor_ms=%.1f\n", median(floorMs));
    std::printf("panel_ms=%.1f\n", median(panelMs));
    std::printf("panel_mapped_ms=%.1f\n", median(mappedMs));
    std::printf("panel_open_ms=%.1f\n", median(openedMs));
    std::printf("ratio=%.2f\n", median(ratios));
    std::printf("floor_cpu_ms=%.1f\n", median(floorCpu));
    std::printf("panel_cpu_ms=%.1f\n", median(panelCpu));
    std::printf("cpu_ratio=%.2f\n", median(cpuRatios));
    if (!beforeMs.empty())
        std::printf("before_ms=%.1f\nbefore_cpu_ms=%.1f\nvs_before=%.3f\nvs_before_cpu=%.3f\n",
                    median(beforeMs), median(beforeCpu), median(vsBefore), median(vsBeforeCpu));
    return 0;
}

// "VmRSS:   12345 kB" and the like.
long kibField(const std::string &text, const std::string &name)
{
    const auto at = text.find(name + ":");
    return at == std::string::npos ? -1
                                   : std::strtol(text.c_str() + at + name.size() + 1, nullptr, 10);
}

// utime + stime of every thread, living or gone, in milliseconds.
double cpuMs(pid_t pid)
{
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    const auto close = stat.rfind(')');
    if (close == std::string::npos)
        die("cannot read the process's times");
    std::istringstream fields(stat.substr(close + 2));
    std::string f;
    unsigned long long utime = 0, stime = 0;
    // Fields 3.. follow the name; utime and stime are fields 14 and 15.
    for (int i = 3; i <= 15 && fields >> f; ++i) {
        if (i == 14)
            utime = std::stoull(f);
        if (i == 15)
            stime = std::stoull(f);
    }
    return static_cast<double>(utime + stime) * 1000.0 /
           static_cast<double>(::sysconf(_SC_CLK_TCK));
}

int idle(int seconds, int settle, const std::vector<std::string> &argv)
{
    MapWatch x;
    x.discardPending();
    const auto t0 = Clock::now();
    const pid_t pid = spawn(argv);
    while (!x.takeMapped(pid)) {
        pollfd fd{x.fd(), POLLIN, 0};
        ::poll(&fd, 1, 100);
        if (Clock::now() - t0 > std::chrono::seconds(30))
            die("no window after 30 s from " + argv[0]);
    }
    std::this_thread::sleep_for(std::chrono::seconds(settle));
    const double cpu0 = onCpuMs(pid);
    const double ticks0 = cpuMs(pid);
    const auto w0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double cpu1 = onCpuMs(pid);
    const double ticks1 = cpuMs(pid);
    const double wall = Millis(Clock::now() - w0).count();
    const std::string proc = "/proc/" + std::to_string(pid);
    const std::string status = readFile(proc + "/status");
    const std::string rollup = readFile(proc + "/smaps_rollup");
    int exitStatus = 0;
    if (::waitpid(pid, &exitStatus, WNOHANG) != 0)
        die(argv[0] + " ended while it was measured");
    stop(pid);
    std::printf("seconds=%.1f\n", wall / 1000.0);
    std::printf("cpu_ms=%.1f\n", cpu1 - cpu0);
    std::printf("stat_cpu_ms=%.0f\n", ticks1 - ticks0);
    std::printf("cpu_percent=%.3f\n", 100.0 * (cpu1 - cpu0) / wall);
    std::printf("rss_kib=%ld\n", kibField(status, "VmRSS"));
    std::printf("pss_kib=%ld\n", kibField(rollup, "Pss"));
    std::printf("hwm_kib=%ld\n", kibField(status, "VmHWM"));
    return 0;
}

std::vector<std::string> rest(int argc, char *argv[], int from)
{
    return std::vector<std::string>(argv + from, argv + argc);
}

} // namespace

int main(int argc, char *argv[])
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "startup" && argc >= 5) {
        std::vector<std::string> panel = rest(argc, argv, 4);
        return startup(std::atoi(argv[2]), {argv[3]}, panel);
    }
    if (mode == "idle" && argc >= 5)
        return idle(std::atoi(argv[2]), std::atoi(argv[3]), rest(argc, argv, 4));
    std::fprintf(stderr, "usage: bench-launch startup RUNS FLOOR PANEL [ARGS...]\n"
                         "       bench-launch idle SECONDS SETTLE PROG [ARGS...]\n");
    return 2;
}
