/* Start-up probe for bench/startup.sh: starts a program, reports when one of
 * its windows is embedded (viewable) under the tray host's panel window, and
 * its resident memory a given time after the start.
 *
 *   startup_probe PANEL_WID LOG RSS_AT_MS TIMEOUT_MS POLL_MS PROGRAM [ARGS...]
 *
 * The program is started with posix_spawn, stdin from /dev/null and stdout and
 * stderr into LOG. The clock starts right before the spawn. The probe is woken
 * by X events (SubstructureNotify on the root window and on every window under
 * the panel, StructureNotify on the program's windows once they are reparented
 * under it) and, as a fallback, every POLL_MS; each wake-up checks the panel's
 * window tree in full. POLL_MS is in whole milliseconds (at least 1). Lines
 * on stdout:
 *   PID <pid>
 *   TRAY_MS <ms> UNCERTAINTY_MS <ms> CHECKS <n> WID <0x...> CHECK_MS <ms>
 *       PROBE_CPU_MS <ms> RUN_MS <ms> WAIT_MS <ms>
 *     (or TRAY_MS timeout); the embedding happened at most UNCERTAINTY_MS
 *     before TRAY_MS: that is the time since the start of the last check that
 *     did not yet see it. CHECK_MS is the time spent in checks, PROBE_CPU_MS
 *     the probe's own CPU time so far; RUN_MS and WAIT_MS are the CPU time of
 *     the program's live threads and their time spent waiting for a CPU
 *     (from /proc/PID/task/TID/schedstat) when the icon was seen.
 *   PAINT_MS <ms> PAINT_UNCERTAINTY_MS <ms>   (or PAINT_MS timeout, if not by RSS_AT_MS)
 *     when the embedded icon window first shows at least three distinct
 *     pixel values, i.e. the program has drawn its picture into it (checked
 *     every POLL_MS after the embedding)
 *   RSS_KB <VmRSS> HWM_KB <VmHWM> ANON_KB <RssAnon> FILE_KB <RssFile> SHMEM_KB <RssShmem> THREADS <n>
 *   EXIT <status>   when the program has ended (stopped by the caller's SIGTERM)
 * A SIGTERM or SIGINT to the probe is passed on to the program.
 */
#define _GNU_SOURCE
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char **environ;

static volatile sig_atomic_t g_child = 0;

static void forward(int sig)
{
    if (g_child > 0)
        kill((pid_t)g_child, sig);
    else
        _exit(128 + sig);
}

static double now_ms(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

static int ignore_errors(Display *d, XErrorEvent *e)
{
    (void)d;
    (void)e; /* windows come and go while we look at them */
    return 0;
}

static Atom a_pid;
static Window g_panel;

static long window_pid(Display *d, Window w)
{
    Atom type;
    int format;
    unsigned long n, after;
    unsigned char *data = NULL;
    long pid = -1;
    if (XGetWindowProperty(d, w, a_pid, 0, 1, False, XA_CARDINAL, &type, &format, &n, &after, &data) == Success && data
        && n == 1 && format == 32)
        pid = (long)*(unsigned long *)data;
    if (data)
        XFree(data);
    return pid;
}

/* Walks the tree under w; selects SubstructureNotify on each window (cheap, and
 * idempotent) and returns a viewable window of pid, or 0. */
static Window find_icon(Display *d, Window w, long pid, int depth)
{
    Window root, parent, *kids = NULL, found = 0;
    unsigned int n = 0;
    if (depth > 8 || !XQueryTree(d, w, &root, &parent, &kids, &n))
        return 0;
    for (unsigned int i = 0; i < n && !found; i++) {
        XWindowAttributes wa;
        if (window_pid(d, kids[i]) == pid) {
            XSelectInput(d, kids[i], StructureNotifyMask);
            if (XGetWindowAttributes(d, kids[i], &wa) && wa.map_state == IsViewable)
                found = kids[i];
        } else {
            XSelectInput(d, kids[i], SubstructureNotifyMask);
            found = find_icon(d, kids[i], pid, depth + 1);
        }
    }
    if (kids)
        XFree(kids);
    return found;
}

/* CPU time and run-queue wait of all live threads of pid, in ms (schedstat). */
static void sched_sum(pid_t pid, double *run_ms, double *wait_ms)
{
    char path[64], file[400];
    *run_ms = *wait_ms = 0;
    snprintf(path, sizeof path, "/proc/%d/task", (int)pid);
    DIR *dir = opendir(path);
    if (!dir)
        return;
    for (struct dirent *e; (e = readdir(dir));) {
        if (e->d_name[0] == '.')
            continue;
        snprintf(file, sizeof file, "%s/%s/schedstat", path, e->d_name);
        FILE *f = fopen(file, "r");
        unsigned long long run = 0, wait = 0;
        if (f && fscanf(f, "%llu %llu", &run, &wait) == 2) {
            *run_ms += run / 1e6;
            *wait_ms += wait / 1e6;
        }
        if (f)
            fclose(f);
    }
    closedir(dir);
}

/* Distinct pixel values in the window (at most 4 counted), 0 if it cannot be read. */
static int distinct_colours(Display *d, Window w)
{
    XWindowAttributes wa;
    if (!XGetWindowAttributes(d, w, &wa) || wa.map_state != IsViewable || wa.width <= 0 || wa.height <= 0)
        return 0;
    XImage *img = XGetImage(d, w, 0, 0, (unsigned)wa.width, (unsigned)wa.height, AllPlanes, ZPixmap);
    if (!img)
        return 0;
    unsigned long seen[4];
    int n = 0;
    for (int y = 0; y < wa.height && n < 4; y++) {
        for (int x = 0; x < wa.width && n < 4; x++) {
            const unsigned long p = XGetPixel(img, x, y);
            int known = 0;
            for (int i = 0; i < n; i++)
                known |= seen[i] == p;
            if (!known)
                seen[n++] = p;
        }
    }
    XDestroyImage(img);
    return n;
}

static void read_status(pid_t pid)
{
    char path[64], line[256];
    long rss = -1, hwm = -1, anon = -1, file = -1, shmem = -1, threads = -1;
    snprintf(path, sizeof path, "/proc/%d/status", (int)pid);
    FILE *f = fopen(path, "r");
    if (!f) {
        printf("RSS_KB gone\n");
        return;
    }
    while (fgets(line, sizeof line, f)) {
        sscanf(line, "VmRSS: %ld", &rss);
        sscanf(line, "VmHWM: %ld", &hwm);
        sscanf(line, "RssAnon: %ld", &anon);
        sscanf(line, "RssFile: %ld", &file);
        sscanf(line, "RssShmem: %ld", &shmem);
        sscanf(line, "Threads: %ld", &threads);
    }
    fclose(f);
    printf("RSS_KB %ld HWM_KB %ld ANON_KB %ld FILE_KB %ld SHMEM_KB %ld THREADS %ld\n", rss, hwm, anon, file, shmem,
           threads);
}

int main(int argc, char **argv)
{
    if (argc < 7) {
        fprintf(stderr, "usage: %s PANEL_WID LOG RSS_AT_MS TIMEOUT_MS POLL_MS PROGRAM [ARGS...]\n", argv[0]);
        return 2;
    }
    g_panel = (Window)strtoul(argv[1], NULL, 0);
    const char *log = argv[2];
    const double rss_at = atof(argv[3]), timeout = atof(argv[4]);
    const int poll_ms = atoi(argv[5]) > 0 ? atoi(argv[5]) : 1;
    setvbuf(stdout, NULL, _IOLBF, 0);

    Display *d = XOpenDisplay(NULL);
    if (!d) {
        fprintf(stderr, "startup_probe: cannot open display\n");
        return 2;
    }
    XSetErrorHandler(ignore_errors);
    a_pid = XInternAtom(d, "_NET_WM_PID", False);
    XSelectInput(d, DefaultRootWindow(d), SubstructureNotifyMask);
    XSelectInput(d, g_panel, SubstructureNotifyMask);
    find_icon(d, g_panel, -2, 0);
    XSync(d, False);

    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = forward;
    sigaction(SIGTERM, &sa, NULL);
    sigaction(SIGINT, &sa, NULL);

    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, log, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
    posix_spawn_file_actions_addclose(&fa, ConnectionNumber(d));
    pid_t child;
    const double t0 = now_ms();
    int rc = posix_spawn(&child, argv[6], &fa, NULL, argv + 6, environ);
    if (rc != 0) {
        fprintf(stderr, "startup_probe: cannot start %s: %s\n", argv[6], strerror(rc));
        return 2;
    }
    g_child = child;
    printf("PID %d\n", (int)child);

    /* Wait for the icon. */
    long checks = 0;
    double last_negative = t0, check_ms = 0;
    Window icon = 0;
    struct pollfd pfd = {ConnectionNumber(d), POLLIN, 0};
    for (;;) {
        const double start = now_ms();
        /* Drain events first: they only wake us; the check below decides. */
        while (XPending(d)) {
            XEvent ev;
            XNextEvent(d, &ev);
        }
        icon = find_icon(d, g_panel, child, 0);
        checks++;
        check_ms += now_ms() - start;
        if (icon) {
            const double t = now_ms();
            double run_ms, wait_ms;
            sched_sum(child, &run_ms, &wait_ms);
            struct rusage ru;
            getrusage(RUSAGE_SELF, &ru);
            printf("TRAY_MS %.3f UNCERTAINTY_MS %.3f CHECKS %ld WID 0x%lx CHECK_MS %.3f PROBE_CPU_MS %.3f"
                   " RUN_MS %.3f WAIT_MS %.3f\n",
                   t - t0, t - last_negative, checks, (unsigned long)icon, check_ms,
                   (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1e3 + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e3,
                   run_ms, wait_ms);
            break;
        }
        last_negative = start;
        if (now_ms() - t0 > timeout) {
            printf("TRAY_MS timeout CHECKS %ld\n", checks);
            break;
        }
        if (waitpid(child, &rc, WNOHANG) == child) {
            g_child = 0;
            printf("TRAY_MS exited\nEXIT %d\n", WIFEXITED(rc) ? WEXITSTATUS(rc) : 128 + WTERMSIG(rc));
            return 1;
        }
        XFlush(d);
        if (!XPending(d))
            poll(&pfd, 1, poll_ms);
    }
    /* Then until the icon shows a picture: until then the tray host shows an
     * empty square of one colour. */
    if (icon) {
        double last = now_ms(), t;
        int painted = 0;
        /* Not past the memory reading, which must come on time. */
        while ((t = now_ms()) - t0 < rss_at) {
            if (distinct_colours(d, icon) >= 3) {
                painted = 1;
                break;
            }
            last = t;
            poll(NULL, 0, poll_ms);
        }
        if (painted)
            printf("PAINT_MS %.3f PAINT_UNCERTAINTY_MS %.3f\n", now_ms() - t0, now_ms() - last);
        else
            printf("PAINT_MS timeout\n");
    }
    XCloseDisplay(d);

    /* Resident memory at RSS_AT_MS after the start. */
    for (double left; (left = t0 + rss_at - now_ms()) > 0;) {
        struct timespec ts = {(time_t)(left / 1e3), (long)((left - (time_t)(left / 1e3) * 1e3) * 1e6)};
        nanosleep(&ts, NULL);
    }
    read_status(child);

    /* Stay the program's parent until the caller stops it. */
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) { }
    g_child = 0;
    printf("EXIT %d\n", WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
    return 0;
}
