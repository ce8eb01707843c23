// The way out. Every exit runs one shutdown (display mode back, window, context and
// sound device released); SIGINT, SIGTERM and SIGHUP end the run from any state.
//
// Signals are handled here, not by SDL (which only queues a quit event that nothing
// reads while a loading step runs or the error box waits): the handler writes the
// signal's number into a pipe, and a watcher thread reads it. The watcher removes
// files a writer has not finished and ends the error box's process (SDL's X11 box is
// a child that SDL waits for). Then, where the display mode was switched, it gives the
// main thread a moment to reach a safe point and run the whole shutdown itself; if the
// main thread is busy for longer, the watcher restores the mode and ends the process.
#include "platform/Platform.h"
#include "platform/PlatformInternal.h"

#include <SDL.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace {

const int kHandledSignals[] = {SIGINT, SIGTERM, SIGHUP};
const int kGraceMs = 500;  // how long the main thread may take to reach a safe point

int signalPipe[2] = {-1, -1};
std::atomic<int> pendingSignal{0};        // the signal that ends the run; 0: none
std::atomic<bool> shutdownClaimed{false}; // the shutdown runs once, on one thread
std::atomic<bool> shutdownDone{false};

// Unfinished output files: fixed slots, so the watcher needs no allocation to read them.
const int kFileSlots = 4;
const size_t kPathBytes = 4096;
struct UnfinishedFile {
    std::atomic<bool> used{false};
    char path[kPathBytes] = {};
};
UnfinishedFile unfinishedFiles[kFileSlots];
std::mutex unfinishedLock;  // writers only; the watcher reads without it

void onSignal(int number) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    if (write(signalPipe[1], &byte, 1) < 0) {
        // A full pipe already holds a signal for the watcher.
    }
    errno = saved;
}

void removeUnfinishedFiles() {
    for (UnfinishedFile& file : unfinishedFiles) {
        if (!file.used.load()) continue;
        if (unlink(file.path) == 0)
            std::fprintf(stderr, "Interrupted: %s was not finished and is removed.\n", file.path);
    }
}

// The error box runs in a child of this process; nothing else here has children.
void endChildProcesses() {
    DIR* tasks = opendir("/proc/self/task");
    if (!tasks) return;
    while (dirent* task = readdir(tasks)) {
        if (task->d_name[0] == '.') continue;
        char path[300];
        std::snprintf(path, sizeof path, "/proc/self/task/%s/children", task->d_name);
        FILE* list = std::fopen(path, "r");
        if (!list) continue;
        long pid = 0;
        while (std::fscanf(list, "%ld", &pid) == 1)
            if (pid > 0) kill(static_cast<pid_t>(pid), SIGKILL);
        std::fclose(list);
    }
    closedir(tasks);
}

[[noreturn]] void exitWithSignal(int number) {
    std::fflush(stderr);
    _exit(128 + number);
}

void watch() {
    unsigned char byte = 0;
    while (read(signalPipe[0], &byte, 1) != 1) {
        if (errno != EINTR) return;
    }
    const int number = byte;
    pendingSignal.store(number);
    removeUnfinishedFiles();
    endChildProcesses();
    if (windowModeSwitched()) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(kGraceMs);
        while (std::chrono::steady_clock::now() < deadline) {
            if (shutdownClaimed.load() && !shutdownDone.load()) {
                // The main thread is on its way out; it ends with the signal's status.
                std::this_thread::sleep_for(std::chrono::milliseconds(kGraceMs));
                exitWithSignal(number);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        // Still busy: the display matters more than a tidy close. The main thread may
        // hold the display connection's lock, so the restoring gets a deadline too.
        if (!shutdownClaimed.exchange(true)) {
            try {
                std::thread([number] {
                    std::this_thread::sleep_for(std::chrono::milliseconds(kGraceMs));
                    exitWithSignal(number);
                }).detach();
            } catch (const std::system_error&) {
                exitWithSignal(number);
            }
            windowRestoreDisplay();
        }
    }
    exitWithSignal(number);
}

}  // namespace

void platformHandleSignals() {
    if (signalPipe[0] >= 0) return;
    // SDL's own handlers would only queue a quit event.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::fprintf(stderr, "No pipe for signals (%s); they end the run untidily.\n",
                     std::strerror(errno));
        return;
    }
    // The watcher waits; only the handler's end must never block.
    fcntl(signalPipe[0], F_SETFL, fcntl(signalPipe[0], F_GETFL) & ~O_NONBLOCK);
    try {
        std::thread(watch).detach();
    } catch (const std::system_error& e) {
        std::fprintf(stderr, "No thread to watch for signals (%s).\n", e.what());
        return;
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : kHandledSignals) sigaction(number, &action, nullptr);
}

void exitIfInterrupted() {
    const int number = pendingSignal.load();
    if (number == 0) return;
    platformShutdown();
    exitWithSignal(number);
}

void platformShutdown() {
    if (shutdownClaimed.exchange(true)) return;
    windowRelease();
    // The sound device goes with its subsystem. The video subsystem stays until the
    // process ends: the window that held the display mode is gone already, and SDL's
    // quit would unload the X11 and GL libraries it loaded, leaving the leak checker
    // unable to name their own allocations.
    for (int i = 0; i < 64 && SDL_WasInit(SDL_INIT_AUDIO); ++i) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    shutdownDone.store(true);
    // An exit that a signal overtook still ends with the signal's status.
    if (const int number = pendingSignal.load()) exitWithSignal(number);
}

void platformFileUnfinished(const char* path) {
    if (!path || std::strlen(path) >= kPathBytes) return;
    std::lock_guard<std::mutex> hold(unfinishedLock);
    for (UnfinishedFile& file : unfinishedFiles) {
        if (file.used.load()) continue;
        std::strcpy(file.path, path);
        file.used.store(true);
        return;
    }
}

void platformFileFinished(const char* path) {
    std::lock_guard<std::mutex> hold(unfinishedLock);
    for (UnfinishedFile& file : unfinishedFiles) {
        if (file.used.load() && std::strcmp(file.path, path) == 0) {
            file.used.store(false);
            return;
        }
    }
}
