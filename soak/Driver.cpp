#include "Driver.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <regex>
#include <sstream>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "RingCheck.h"
#include "SoakSupport.h"

namespace krel_soak {
namespace {

volatile sig_atomic_t interrupted = 0;

void onSignal(int) {
    interrupted = 1;
}

void sleepMs(int ms) {
    usleep(static_cast<useconds_t>(ms) * 1000);
}

// The complete lines appended to a journal since the last call.
class JournalReader {
public:
    explicit JournalReader(std::string path) : path(std::move(path)) {}

    std::vector<std::string> newLines() {
        std::vector<std::string> lines;
        std::ifstream in(path, std::ios::binary);
        if (!in || !in.seekg(offset)) {
            return lines;
        }
        const std::string text((std::istreambuf_iterator<char>(in)), {});
        size_t start = 0;
        for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
            lines.push_back(text.substr(start, end - start));
        }
        offset += static_cast<std::streamoff>(start);
        return lines;
    }

private:
    const std::string path;
    std::streamoff offset = 0;
};

// What the driver learnt of one run of the service process.
struct Instance {
    pid_t pid = 0;
    int64_t startedMs = 0;
    bool stopRecorded = false;
    // The connection listener's last state.
    bool connected = false;
    bool everUp = false;
    std::string host;
    std::map<std::string, long> preferences;
    unsigned long heard = 0;
    unsigned long outOfOrder = 0;
    unsigned long repeated = 0;
    ProcessFigures warm;
    ProcessFigures latest;
};

struct Server {
    pid_t pid = 0;
    int port = 0;
    bool up = false;
};

// Whether the figures after warm-up and at the end count as flat: the resident memory grew by
// at most 2 MiB or 5%, at most two more descriptors and one more thread.
bool isFlat(const ProcessFigures& warm, const ProcessFigures& end) {
    return end.rssKb <= warm.rssKb + std::max(2048L, warm.rssKb / 20) &&
           end.descriptors <= warm.descriptors + 2 && end.threads <= warm.threads + 1;
}

std::string describe(const ProcessFigures& warm, const ProcessFigures& end) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "RSS %ld -> %ld KiB, descriptors %ld -> %ld, threads %ld -> %ld", warm.rssKb,
                  end.rssKb, warm.descriptors, end.descriptors, warm.threads, end.threads);
    return text;
}

class Driver {
public:
    Driver(const std::string& self, const std::string& directory, double minutes)
        : self(self), dir(directory), totalMs(static_cast<int64_t>(minutes * 60000)),
          warmUpMs(std::min<int64_t>(30000, totalMs / 15)),
          serviceJournal(directory + "/service.journal"),
          writerJournal(directory + "/writer.journal") {}

    int run() {
        const bool ready = setUp();
        if (ready) {
            soak();
        }
        const bool checked = ready && !interrupted && finish();
        endEverything();
        if (interrupted) {
            std::printf("soak: interrupted\n");
            return 130;
        }
        if (checked) {
            report();
        }
        for (const std::string& text : missTexts) {
            std::printf("miss: %s\n", text.c_str());
        }
        std::printf("soak: %s (%lu misses)\n", misses == 0 ? "PASSED" : "FAILED", misses);
        return misses == 0 ? 0 : 1;
    }

private:
    // ---- processes ----

    // Starts a program that ends with the driver, its output into `output` when given.
    pid_t spawn(const std::vector<std::string>& arguments, int output = -1) {
        std::vector<char*> argv;
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        const pid_t parent = getpid();
        const pid_t pid = fork();
        if (pid == 0) {
            if (!endWithParent(parent)) {
                _exit(127);
            }
            if (output >= 0) {
                dup2(output, 1);
                dup2(output, 2);
            }
            execv(argv[0], argv.data());
            _exit(127);
        }
        return pid;
    }

    // Runs krel-admin to its end: its exit code and its output.
    int runAdmin(const std::vector<std::string>& arguments, std::string& output) {
        int pipeEnds[2];
        if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
            return -1;
        }
        std::vector<std::string> command{KREL_ADMIN_TOOL};
        command.insert(command.end(), arguments.begin(), arguments.end());
        const pid_t pid = spawn(command, pipeEnds[1]);
        close(pipeEnds[1]);
        output.clear();
        char buffer[512];
        for (ssize_t got; (got = read(pipeEnds[0], buffer, sizeof buffer)) != 0;) {
            if (got > 0) {
                output.append(buffer, static_cast<size_t>(got));
            } else if (errno != EINTR) {
                break;
            }
        }
        close(pipeEnds[0]);
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // The system error code that krel-admin printed as "(<code>)"; 0 when none.
    static long adminError(const std::string& output) {
        std::smatch found;
        static const std::regex code("\\((\\d+)\\)\\s*$");
        return std::regex_search(output, found, code) ? std::stol(found[1]) : 0;
    }

    void reap() {
        int status = 0;
        for (pid_t pid; (pid = waitpid(-1, &status, WNOHANG)) > 0;) {
            ended[pid] = status;
        }
    }

    bool awaitEnd(pid_t pid, int ms) {
        for (const int64_t deadline = monotonicMs() + ms; !interrupted && monotonicMs() < deadline;
             sleepMs(20)) {
            reap();
            if (ended.count(pid) != 0) {
                return true;
            }
        }
        return false;
    }

    // Kills every process below the driver: its children and, as their reaper, the service
    // processes that krel-admin started.
    void endEverything() {
        for (int round = 0; round < 50; ++round) {
            std::vector<pid_t> children;
            if (DIR* tasks = opendir("/proc/self/task")) {
                while (const dirent* task = readdir(tasks)) {
                    std::ifstream list(std::string("/proc/self/task/") + task->d_name +
                                       "/children");
                    for (pid_t child; list >> child;) {
                        children.push_back(child);
                    }
                }
                closedir(tasks);
            }
            if (children.empty()) {
                return;
            }
            for (pid_t child : children) {
                kill(child, SIGKILL);
            }
            sleepMs(50);
            reap();
        }
    }

    // ---- the world ----

    bool setUp() {
        for (const char* sub : {"bin", "config", "log", "registry"}) {
            std::filesystem::create_directories(dir + "/" + sub);
        }
        if (chdir((dir + "/bin").c_str()) != 0 || prctl(PR_SET_CHILD_SUBREAPER, 1) != 0) {
            return fail("cannot prepare " + dir);
        }
        setenv("KREL_REGISTRY_DIR", (dir + "/registry").c_str(), 1);
        writeConfig(false);
        if (!startServer(0) || !startServer(1)) {
            return false;
        }
        std::string output;
        const std::string command =
            "\"" + self + "\" --service " + dir + " " + std::to_string(getpid()) + " " +
            std::to_string(servers[0].port) + " " + std::to_string(servers[1].port);
        if (runAdmin({"create-service", kServiceName, command}, output) != 0) {
            return fail("create-service: " + output);
        }
        begin = monotonicMs();
        writer = spawn({self, "--writer", dir, std::to_string(totalMs * 0.85 / 1000)});
        return startService();
    }

    bool startServer(int index) {
        Server& server = servers[index];
        const std::string portFile = dir + "/server" + std::to_string(index) + ".port";
        unlink(portFile.c_str());
        server.pid = spawn({self, "--server", portFile, std::to_string(server.port)});
        for (const int64_t deadline = monotonicMs() + 10000;
             !interrupted && monotonicMs() < deadline; sleepMs(10)) {
            std::ifstream in(portFile);
            if (in >> server.port) {
                server.up = true;
                return true;
            }
        }
        return fail("server " + std::to_string(index) + " did not listen");
    }

    void killServer(int index) {
        kill(servers[index].pid, SIGKILL);
        awaitEnd(servers[index].pid, 5000);
        servers[index].up = false;
    }

    // Writes Soak.cfg with a threshold, size and count of its own: in place (truncated, then
    // written) or as a new file renamed over it.
    void writeConfig(bool inPlace) {
        static const char* const thresholds[] = {"DEBUG", "INFO", "WARN"};
        static const char* const sizes[] = {"1MB", "2MB", "3MB"};
        size = sizes[random() % 3];
        files = 3 + static_cast<int>(random() % 3);
        const std::string text = std::string("[Debug Log]\nThreshold=") + thresholds[random() % 3] +
                                 "\n[Log Appenders]\n"
                                 "appender.file.class=krel_std.RollingFileAppender\n"
                                 "appender.file.filter=krel_std.DebugFileFilter\n"
                                 "appender.file.layout=krel_std.KrelLogLayout\n"
                                 "appender.file.size=" +
                                 size + "\nappender.file.files=" + std::to_string(files) + "\n";
        const std::string path = dir + "/config/Soak.cfg";
        const std::string target = inPlace ? path : path + ".staged";
        const int fd = open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const bool written =
            fd >= 0 && write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        close(fd);
        if (!written || (!inPlace && rename(target.c_str(), path.c_str()) != 0)) {
            fail("cannot write " + path);
        }
        ++configEdits;
        inPlaceEdits += inPlace ? 1 : 0;
    }

    // ---- the service ----

    bool startService() {
        ++current;
        std::ofstream(dir + "/instance") << current << "\n";
        std::string output;
        for (int attempt = 0;; ++attempt) {
            if (runAdmin({"start-service", kServiceName}, output) == 0) {
                break;
            }
            const long error = adminError(output);
            if ((error != 1056 && error != 1053) || attempt == 20) {
                return fail("start-service: " + output);
            }
            ++refusedStarts;
            miss("start-service right after STOPPED refused (" + std::to_string(error) + ")");
            sleepMs(250);
        }
        for (const int64_t deadline = monotonicMs() + 15000;
             !interrupted && monotonicMs() < deadline; sleepMs(20)) {
            readJournals();
            if (instances[current].pid != 0) {
                expectConnection();
                return true;
            }
        }
        return fail("the service did not journal its start");
    }

    // Stops the service and waits for STOPPED; then checks that it journalled its end and that
    // its connection listener heard the shutdown's "lost".
    bool stopService() {
        std::string output;
        if (runAdmin({"control-service", kServiceName, "stop"}, output) != 0) {
            return fail("control-service stop: " + output);
        }
        bool stopped = false;
        for (const int64_t deadline = monotonicMs() + 30000;
             !stopped && !interrupted && monotonicMs() < deadline;) {
            runAdmin({"query-service", kServiceName}, output);
            stopped = output.find("STOPPED") != std::string::npos;
            sleepMs(stopped ? 0 : 20);
        }
        if (!stopped) {
            return fail("the service did not reach STOPPED: " + output);
        }
        readJournals();
        Instance& instance = instances[current];
        if (!instance.stopRecorded) {
            miss("instance " + std::to_string(current) + " did not journal its end");
        }
        if (instance.connected) {
            ++shutdownLostMissing;
            miss("instance " + std::to_string(current) +
                 ": the connection listener did not hear \"lost\" at shutdown");
        }
        return true;
    }

    void restartService() {
        const pid_t old = instances[current].pid;
        if (!stopService() || !startService()) {
            return;
        }
        ++restarts;
        if (!awaitEnd(old, 10000)) {
            miss("the process of instance " + std::to_string(current - 1) +
                 " was still there 10 s after STOPPED");
        }
        std::printf("soak: %3lld s: service restarted through krel-admin (instance %u)\n",
                    static_cast<long long>((monotonicMs() - begin) / 1000), current);
        std::fflush(stdout);
    }

    void readJournals() {
        for (const std::string& line : serviceJournal.newLines()) {
            std::istringstream in(line);
            std::string kind;
            unsigned number = 0;
            in >> kind >> number;
            Instance& instance = instances[number];
            if (kind == "start") {
                in >> instance.pid;
                instance.startedMs = monotonicMs();
            } else if (kind == "conn") {
                std::string state;
                int64_t ms = 0;
                in >> ms >> state >> instance.host;
                instance.connected = state == "up";
                instance.everUp = instance.everUp || instance.connected;
            } else if (kind == "pref") {
                hearPreference(instance, in);
            } else if (kind == "logged") {
                unsigned thread = 0;
                unsigned long last = 0;
                in >> thread >> last;
                logged[{number, thread}] = last;
            } else if (kind == "stop") {
                instance.stopRecorded = true;
            }
        }
        for (const std::string& line : writerJournal.newLines()) {
            std::istringstream in(line);
            std::string kind, key;
            long value = 0;
            if (in >> kind >> key >> value && kind == "put") {
                written[key] = value;
                ++puts;
            }
        }
    }

    void hearPreference(Instance& instance, std::istream& in) {
        std::string key;
        long value = 0;
        in >> key >> value;
        ++instance.heard;
        const auto before = instance.preferences.find(key);
        if (before != instance.preferences.end() && value < before->second) {
            ++instance.outOfOrder;
            miss("the listener heard " + key + "=" + std::to_string(value) + " after " +
                 std::to_string(before->second));
        } else if (before != instance.preferences.end() && value == before->second) {
            ++instance.repeated;
        }
        instance.preferences[key] = value;
    }

    // ---- the connection ----

    static bool hasConnectionHost(const Instance& instance, const Server& server) {
        return server.up && instance.host == "127.0.0.1:" + std::to_string(server.port);
    }

    // Up at a server that is up while one is; otherwise lost (or never up).
    bool connectionFollows() {
        const Instance& instance = instances[current];
        if (!servers[0].up && !servers[1].up) {
            return !instance.connected;
        }
        return instance.connected &&
               (hasConnectionHost(instance, servers[0]) || hasConnectionHost(instance, servers[1]));
    }

    void expectConnection() {
        expectedSince = monotonicMs();
        expecting = true;
    }

    void followConnection() {
        if (!expecting) {
            return;
        }
        const int64_t waited = monotonicMs() - expectedSince;
        if (connectionFollows()) {
            expecting = false;
            ++connectionMatches;
            slowestMatch = std::max(slowestMatch, waited);
        } else if (waited > 10000) {
            expecting = false;
            ++connectionMisses;
            miss("the connection listener's state did not follow the servers (" +
                 std::string(servers[0].up ? "up" : "down") + "/" +
                 (servers[1].up ? "up" : "down") + ") within 10 s");
        }
    }

    // One step of a cycle that kills and restarts the servers, both down once a cycle.
    void stepServers() {
        static const struct {
            int server;
            bool up;
        } steps[] = {{0, false}, {0, true}, {1, false}, {0, false}, {1, true}, {0, true}};
        const auto& step = steps[serverSteps++ % 6];
        if (step.up) {
            startServer(step.server);
        } else {
            killServer(step.server);
        }
        expectConnection();
    }

    // ---- the run ----

    void sample() {
        const int64_t now = monotonicMs();
        Instance& instance = instances[current];
        const ProcessFigures service = readProcessFigures(instance.pid);
        if (instance.pid != 0 && service.rssKb > 0) {
            instance.latest = service;
            if (instance.warm.rssKb == 0 && now - instance.startedMs >= warmUpMs) {
                instance.warm = service;
            }
        }
        const ProcessFigures writing = readProcessFigures(writer);
        if (ended.count(writer) == 0 && writing.rssKb > 0) {
            writerLatest = writing;
            if (writerWarm.rssKb == 0 && now - begin >= warmUpMs) {
                writerWarm = writing;
            }
        }
    }

    void soak() {
        const int64_t restartEvery = totalMs / 5;
        int64_t nextEdit = begin + 3000;
        int64_t nextServerStep = begin + 3000;
        int64_t nextScan = begin + 10000;
        while (!interrupted && monotonicMs() - begin < totalMs) {
            const int64_t now = monotonicMs();
            readJournals();
            reap();
            sample();
            followConnection();
            if (now >= nextEdit) {
                writeConfig(configEdits % 2 == 0);
                nextEdit = now + 2000 + static_cast<int64_t>(random() % 2000);
            }
            if (!expecting && now >= nextServerStep) {
                stepServers();
                nextServerStep = now + 3000;
            }
            if (now >= nextScan) {
                scanRing();
                nextScan = now + 10000;
            }
            if (restarts < 3 && now - begin >= restartEvery * (restarts + 1)) {
                restartService();
            }
            sleepMs(100);
        }
    }

    // Checks the ring while the service writes: what a later turn of the ring removes is seen
    // here before it goes.
    void scanRing() {
        const RingFigures seen = checkRing(dir + "/log", logged, true);
        ++scans;
        if (seen.misses() != 0) {
            // The first faulty ring is kept for a look at it.
            if (faultyScans++ == 0) {
                std::error_code error;
                std::filesystem::copy(dir + "/log", dir + "/log-at-first-fault", error);
            }
            miss("a scan of the ring while the service wrote found " +
                 std::to_string(seen.misses()) + " faults" +
                 (seen.examples.empty() ? "" : ", the first: " + seen.examples.front()));
        }
    }

    // Waits for the writer's end and the listener's final view, stops the service and checks
    // the ring; false when the run could not be ended as planned.
    bool finish() {
        if (!awaitEnd(writer, 30000) || !WIFEXITED(ended[writer]) ||
            WEXITSTATUS(ended[writer]) != 0) {
            return fail("the writer did not end well");
        }
        for (const int64_t deadline = monotonicMs() + 15000;
             !interrupted && monotonicMs() < deadline &&
             (instances[current].preferences != written || expecting);
             sleepMs(50)) {
            readJournals();
            followConnection();
        }
        finalViewMatches = instances[current].preferences == written;
        if (!finalViewMatches) {
            miss("the listener's final view differs from the writer's final values");
        }
        if (!stopService()) {
            return false;
        }
        if (!awaitEnd(instances[current].pid, 10000)) {
            miss("the service process was still there 10 s after STOPPED");
        }
        std::string output;
        if (runAdmin({"delete-service", kServiceName}, output) != 0) {
            miss("delete-service: " + output);
        }
        killServer(0);
        killServer(1);
        ring = checkRing(dir + "/log", logged, false);
        misses += ring.misses();
        for (const auto& entry : instances) {
            const Instance& instance = entry.second;
            if (instance.warm.rssKb != 0 && !isFlat(instance.warm, instance.latest)) {
                miss("instance " + std::to_string(entry.first) + " did not stay flat");
            }
        }
        if (writerWarm.rssKb != 0 && !isFlat(writerWarm, writerLatest)) {
            miss("the writer did not stay flat");
        }
        return true;
    }

    void report() {
        std::printf("soak: %.1f minutes, %u service instances (%u restarts through krel-admin), "
                    "%lu configuration edits (%lu in place, %lu renamed over)\n",
                    totalMs / 60000.0, current, restarts, configEdits, inPlaceEdits,
                    configEdits - inPlaceEdits);
        std::printf("log ring: %lu lines logged by %d threads, %lu kept in %u files (largest %lu "
                    "bytes; last settings size=%s files=%d), %lu other lines\n",
                    ring.logged, kLogThreads, ring.kept, ring.files, ring.largestFile, size.c_str(),
                    files, ring.otherLines);
        std::printf("  duplicates %lu, torn %lu, never logged %lu, breaks in a thread's run "
                    "inside one file (lost lines or two turns of the ring) %lu, threads whose "
                    "newest line is missing %lu\n",
                    ring.duplicates, ring.torn, ring.unexpected, ring.splitRuns,
                    ring.newestMissing);
        std::printf(
            "  scans of the ring while the service wrote: %lu, of which found faults: %lu\n", scans,
            faultyScans);
        for (const std::string& example : ring.examples) {
            std::printf("    %s\n", example.c_str());
        }
        unsigned long heard = 0, outOfOrder = 0, repeated = 0;
        for (const auto& entry : instances) {
            heard += entry.second.heard;
            outOfOrder += entry.second.outOfOrder;
            repeated += entry.second.repeated;
        }
        std::printf("preferences: %lu values written by the writer process, %lu changes heard, "
                    "%lu out of order, %lu heard twice; final view equals the final values: %s\n",
                    puts, heard, outOfOrder, repeated, finalViewMatches ? "yes" : "no");
        std::printf("connection: %lu server kills and restarts; listener followed %lu times "
                    "(slowest %lld ms), missed %lu; shutdown \"lost\" missing in %lu of %u "
                    "stopped instances\n",
                    serverSteps, connectionMatches, static_cast<long long>(slowestMatch),
                    connectionMisses, shutdownLostMissing, current);
        std::printf("service starts refused right after STOPPED (1056/1053), retried and counted "
                    "as misses: %lu\n",
                    refusedStarts);
        std::printf("resources after %lld s of warm-up -> at the end:\n",
                    static_cast<long long>(warmUpMs / 1000));
        for (const auto& entry : instances) {
            if (entry.second.warm.rssKb != 0) {
                std::printf("  service instance %u: %s\n", entry.first,
                            describe(entry.second.warm, entry.second.latest).c_str());
            }
        }
        std::printf("  writer: %s\n", describe(writerWarm, writerLatest).c_str());
    }

    void miss(const std::string& text) {
        ++misses;
        if (missTexts.size() < 20) {
            missTexts.push_back(text);
        }
    }

    bool fail(const std::string& text) {
        miss(text);
        return false;
    }

    const std::string self;
    const std::string dir;
    const int64_t totalMs;
    const int64_t warmUpMs;
    int64_t begin = 0;
    JournalReader serviceJournal;
    JournalReader writerJournal;
    std::map<pid_t, int> ended;
    Server servers[2];
    pid_t writer = 0;
    unsigned current = 0;
    std::map<unsigned, Instance> instances;
    LoggedLines logged;
    std::map<std::string, long> written;
    unsigned long puts = 0;
    std::string size;
    int files = 0;
    unsigned long configEdits = 0;
    unsigned long inPlaceEdits = 0;
    unsigned restarts = 0;
    unsigned long refusedStarts = 0;
    bool expecting = false;
    int64_t expectedSince = 0;
    int64_t slowestMatch = 0;
    unsigned long serverSteps = 0;
    unsigned long connectionMatches = 0;
    unsigned long connectionMisses = 0;
    unsigned long shutdownLostMissing = 0;
    bool finalViewMatches = false;
    ProcessFigures writerWarm;
    ProcessFigures writerLatest;
    RingFigures ring;
    unsigned long scans = 0;
    unsigned long faultyScans = 0;
    unsigned long misses = 0;
    std::vector<std::string> missTexts;
};

} // namespace

int runDriver(const std::string& self, const std::string& directory, double minutes) {
    struct sigaction action {};
    action.sa_handler = onSignal;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
    srandom(1);
    Driver driver(self, directory, minutes);
    return driver.run();
}

} // namespace krel_soak
