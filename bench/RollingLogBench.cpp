// A log call that reaches a rolling log file, from one and from eight threads, with a 100-byte
// message and the full line layout; and a call below the threshold. The peers write their own
// rolling files of the same size and count, each line reaching the file as the call returns
// where the peer offers it.
#include <Poco/AutoPtr.h>
#include <Poco/FileChannel.h>
#include <Poco/FormattingChannel.h>
#include <Poco/Logger.h>
#include <Poco/PatternFormatter.h>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <log4cxx/helpers/pool.h>
#include <log4cxx/logger.h>
#include <log4cxx/patternlayout.h>
#include <log4cxx/rolling/rollingfileappender.h>
#include <memory>
#include <spdlog/logger.h>
#include <spdlog/sinks/rotating_file_sink.h>
#include <string>
#include <sys/syscall.h>
#include <unistd.h>

#include "log/ContextLogMessage.h"
#include "log/DebugFileFilter.h"
#include "log/KrelLogLayout.h"
#include "log/RollingFileAppender.h"
#include "log/StaticLog.h"
#include "log/StaticLogTestHook.h"
#include "platform/Utf16.h"
#include "support/AllocationCounter.h"

namespace {

using namespace krel_std;

// Every side rolls over after 8 MiB and keeps three files.
const unsigned long FILE_SIZE = 8UL << 20;
const int FILE_COUNT = 3;
// The roll-over rows use files of 1 MiB and this many calls, enough for several roll-overs.
const unsigned long SMALL_FILE_SIZE = 1UL << 20;
const int ROLLOVER_CALLS = 40000;

// 93 characters, a blank and six digits: 100 bytes.
#define MESSAGE_TEXT                                                                               \
    "Order 4711 accepted from the gateway after validation of the customer account, credit "       \
    "limits "
static_assert(sizeof(MESSAGE_TEXT) - 1 == 93, "the message text is 93 characters");

// A directory of this run below $TMPDIR, removed at exit.
class BenchDirectory {
public:
    BenchDirectory() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
                              "/krel-rolling-bench-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) {
            root = pattern;
        }
    }
    ~BenchDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }

    std::string file(const std::string& name) const { return (root / name).string(); }

private:
    std::filesystem::path root;
};

const BenchDirectory& directory() {
    static BenchDirectory made;
    return made;
}

// The static log's rolling file appender, once krelRollingLog made it.
boost::shared_ptr<ILogAppender>& rollingAppender() {
    static boost::shared_ptr<ILogAppender>& appender = *new boost::shared_ptr<ILogAppender>;
    return appender;
}

// The static log, initialised once with a rolling file appender and threshold INFO.
void krelRollingLog() {
    static const bool ready = [] {
        RollingFileAppender prototype;
        boost::shared_ptr<ILogAppender>& appender = rollingAppender();
        appender.reset(dynamic_cast<ILogAppender*>(prototype.newInstance(
            {{L"path", krel_platform::utf8ToWide(directory().file("krel.log"))},
             {L"size", std::to_wstring(FILE_SIZE)},
             {L"files", std::to_wstring(FILE_COUNT)}})));
        appender->setFilter(boost::shared_ptr<ILogEventFilter>(new DebugFileFilter()));
        KrelLogLayout layout;
        appender->setLayout(boost::shared_ptr<ILogEventLayout>(
            dynamic_cast<ILogEventLayout*>(layout.newInstance({{L"debug", L"true"}}))));
        krel_std_internal::StaticLogTestHook::initialize(L"Bench", {{L"rolling", appender}});
        krel_std_internal::StaticLogTestHook::setThreshold(INFO);
        return true;
    }();
    benchmark::DoNotOptimize(ready);
}

// The same line as the static log's layout: time, priority, thread, file, line and function.
spdlog::logger& spdlogRolling() {
    static spdlog::logger* logger = [] {
        auto sink = std::make_shared<spdlog::sinks::rotating_file_sink_mt>(
            directory().file("spdlog.log"), FILE_SIZE, FILE_COUNT - 1);
        sink->set_pattern("%Y-%m-%d %H:%M:%S:%e %l [%t] %s[%#] %!: %v");
        auto* made = new spdlog::logger("rolling", sink);
        made->set_level(spdlog::level::info);
        return made;
    }();
    return *logger;
}

// The same sink made to hand every line to the system as the call returns, as the static
// log's rolling file does.
spdlog::logger& spdlogFlushedRolling() {
    static spdlog::logger* logger = [] {
        auto sink = std::make_shared<spdlog::sinks::rotating_file_sink_mt>(
            directory().file("spdlog-flushed.log"), FILE_SIZE, FILE_COUNT - 1);
        sink->set_pattern("%Y-%m-%d %H:%M:%S:%e %l [%t] %s[%#] %!: %v");
        auto* made = new spdlog::logger("rolling-flushed", sink);
        made->set_level(spdlog::level::info);
        made->flush_on(spdlog::level::info);
        return made;
    }();
    return *logger;
}

log4cxx::LoggerPtr log4cxxRolling() {
    static log4cxx::LoggerPtr logger = [] {
        auto appender = std::make_shared<log4cxx::rolling::RollingFileAppender>();
        appender->setLayout(std::make_shared<log4cxx::PatternLayout>(
            LOG4CXX_STR("%d{yyyy-MM-dd HH:mm:ss,SSS} %p [%t] %F[%L] %M: %m%n")));
        appender->setFile(directory().file("log4cxx.log"));
        appender->setMaximumFileSize(FILE_SIZE);
        appender->setMaxBackupIndex(FILE_COUNT - 1);
        log4cxx::helpers::Pool pool;
        appender->activateOptions(pool);
        log4cxx::LoggerPtr made = log4cxx::Logger::getLogger(LOG4CXX_STR("rolling"));
        made->setAdditivity(false);
        made->addAppender(appender);
        made->setLevel(log4cxx::Level::getInfo());
        return made;
    }();
    return logger;
}

Poco::Logger& pocoRolling() {
    static Poco::Logger* logger = [] {
        Poco::AutoPtr<Poco::FileChannel> file(new Poco::FileChannel(directory().file("poco.log")));
        file->setProperty("rotation", std::to_string(FILE_SIZE / 1024) + " K");
        file->setProperty("archive", "number");
        file->setProperty("purgeCount", std::to_string(FILE_COUNT - 1));
        Poco::AutoPtr<Poco::PatternFormatter> pattern(
            new Poco::PatternFormatter("%Y-%m-%d %H:%M:%S:%i %p [%I] %U[%u]: %t"));
        Poco::AutoPtr<Poco::FormattingChannel> channel(new Poco::FormattingChannel(pattern, file));
        return &Poco::Logger::create("rolling", channel, Poco::Message::PRIO_INFORMATION);
    }();
    return *logger;
}

// The message of the peers that take finished text.
std::string messageText(int value) {
    char text[128];
    std::snprintf(text, sizeof(text), MESSAGE_TEXT " %06d", value);
    return text;
}

void rollingKrel(benchmark::State& state) {
    krelRollingLog();
    ContextLogMessage context(L"Bench::run", INFO, L"KrelStd", L"RollingLogBench.cpp", 12);
    int value = 0;
    bench_support::AllocationScope scope;
    for (auto _ : state) {
        context.log(L"" MESSAGE_TEXT " %06d", ++value);
    }
    scope.report(state);
}

void rollingSpdlog(benchmark::State& state) {
    spdlog::logger& logger = spdlogRolling();
    const spdlog::source_loc location{"RollingLogBench.cpp", 12, "Bench::run"};
    int value = 0;
    for (auto _ : state) {
        logger.log(location, spdlog::level::info, MESSAGE_TEXT " {:06d}", ++value);
    }
}

void rollingSpdlogFlushed(benchmark::State& state) {
    spdlog::logger& logger = spdlogFlushedRolling();
    const spdlog::source_loc location{"RollingLogBench.cpp", 12, "Bench::run"};
    int value = 0;
    for (auto _ : state) {
        logger.log(location, spdlog::level::info, MESSAGE_TEXT " {:06d}", ++value);
    }
}

void rollingLog4cxx(benchmark::State& state) {
    const log4cxx::LoggerPtr logger = log4cxxRolling();
    int value = 0;
    for (auto _ : state) {
        logger->info(messageText(++value), LOG4CXX_LOCATION);
    }
}

void rollingPoco(benchmark::State& state) {
    Poco::Logger& logger = pocoRolling();
    int value = 0;
    for (auto _ : state) {
        logger.information(messageText(++value), "RollingLogBench.cpp", 12);
    }
}

void lineIntoRollingFileKrel(benchmark::State& state) {
    rollingKrel(state);
    state.SetLabel(state.threads() == 1 ? "goal<=1.15" : "goal<=0.8");
}

// The floor: the same line made with snprintf in a stack buffer and handed to the system by
// one write() on a descriptor opened for appending, so each line is in the kernel as the call
// returns. Each thread makes the date and time up to the milliseconds once per second, as the
// static log's layout does.
class AppendedLineFile {
public:
    explicit AppendedLineFile(const std::string& name)
        : path(directory().file(name)),
          descriptor(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644)),
          written(0) {}

    // Answers the length of the line written.
    size_t write(const char* function, const char* file, int line, int value) {
        thread_local const unsigned long threadId = static_cast<unsigned long>(syscall(SYS_gettid));
        thread_local time_t convertedSecond = -1;
        thread_local char stamp[32];
        struct timespec now {};
        clock_gettime(CLOCK_REALTIME, &now);
        if (now.tv_sec != convertedSecond) {
            struct tm local {};
            localtime_r(&now.tv_sec, &local);
            std::strftime(stamp, sizeof(stamp), "%Y-%m-%d %H:%M:%S:", &local);
            convertedSecond = now.tv_sec;
        }
        char text[512];
        const int length =
            std::snprintf(text, sizeof(text), "%s%03d %s [0x%lx] %s[%d] %s: %s %06d\n", stamp,
                          static_cast<int>(now.tv_nsec / 1000000), "INFO", threadId, file, line,
                          function, MESSAGE_TEXT, value);
        if (length > 0 && ::write(descriptor, text, static_cast<size_t>(length)) != length) {
            std::abort();
        }
        return static_cast<size_t>(length);
    }

    // Writes a line and, once the file holds `limit` bytes, moves it aside and starts a new one,
    // as a rolling file does with its oldest file.
    void writeRolling(int value, unsigned long limit) {
        written += write("Bench::run", "RollingLogBench.cpp", 12, value);
        if (written >= limit) {
            ::close(descriptor);
            std::rename(path.c_str(), (path + ".1").c_str());
            descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
            written = 0;
        }
    }

private:
    std::string path;
    int descriptor;
    unsigned long written;
};

void lineIntoRollingFilePeer(benchmark::State& state) {
    static AppendedLineFile* file = new AppendedLineFile("append.log");
    int value = 0;
    for (auto _ : state) {
        file->write("Bench::run", "RollingLogBench.cpp", 12, ++value);
    }
}

// The earlier floor, which formats every field of the date on every line: what a line costs
// against a writer that keeps no per-second text, by CPU time.
void lineDateEachTimePeer(benchmark::State& state) {
    static const int descriptor = ::open(directory().file("append-dated.log").c_str(),
                                         O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    const unsigned long threadId = static_cast<unsigned long>(syscall(SYS_gettid));
    int value = 0;
    for (auto _ : state) {
        struct timespec now {};
        clock_gettime(CLOCK_REALTIME, &now);
        struct tm local {};
        localtime_r(&now.tv_sec, &local);
        char text[512];
        const int length = std::snprintf(
            text, sizeof(text),
            "%04d-%02d-%02d %02d:%02d:%02d:%03d %s [0x%lx] %s[%d] %s: %s %06d\n",
            local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
            local.tm_sec, static_cast<int>(now.tv_nsec / 1000000), "INFO", threadId,
            "RollingLogBench.cpp", 12, "Bench::run", MESSAGE_TEXT, ++value);
        if (length > 0 && ::write(descriptor, text, static_cast<size_t>(length)) != length) {
            std::abort();
        }
    }
}

void lineDateEachTimeKrel(benchmark::State& state) {
    rollingKrel(state);
}

// The slowest single call of a run, in milliseconds, as the counter "worst_ms".
class WorstCall {
public:
    void time(const std::chrono::steady_clock::time_point& start) {
        worst = std::max(worst, std::chrono::steady_clock::now() - start);
    }
    void report(benchmark::State& state) const {
        state.counters["worst_ms"] = std::chrono::duration<double, std::milli>(worst).count();
    }

private:
    std::chrono::steady_clock::duration worst{};
};

// Log calls into files of 1 MiB, so that the run crosses several roll-overs, each of which
// records the new index and replaces the oldest file of the set.
void rolloverKrel(benchmark::State& state) {
    krelRollingLog();
    rollingAppender()->setProperty(L"size", std::to_wstring(SMALL_FILE_SIZE));
    ContextLogMessage context(L"Bench::run", INFO, L"KrelStd", L"RollingLogBench.cpp", 12);
    int value = 0;
    WorstCall worst;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        context.log(L"" MESSAGE_TEXT " %06d", ++value);
        worst.time(start);
    }
    worst.report(state);
    rollingAppender()->setProperty(L"size", std::to_wstring(FILE_SIZE));
    state.SetLabel("worst_ms<=5");
}

void rolloverPeer(benchmark::State& state) {
    static AppendedLineFile* file = new AppendedLineFile("append-rolling.log");
    int value = 0;
    WorstCall worst;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        file->writeRolling(++value, SMALL_FILE_SIZE);
        worst.time(start);
    }
    worst.report(state);
}

void belowThresholdKrel(benchmark::State& state) {
    krelRollingLog();
    int value = 0;
    bench_support::AllocationScope scope;
    for (auto _ : state) {
        if (StaticLog::isThresholdOn(DEBUG)) {
            ContextLogMessage::log(DEBUG, L"Bench::run", L"KrelStd", L"", 1, L"RollingLogBench.cpp",
                                   12, L"" MESSAGE_TEXT " %06d", ++value);
        }
        benchmark::ClobberMemory();
    }
    scope.report(state);
    // Nanoseconds per call.
    state.counters["ns"] = benchmark::Counter(1e-9, benchmark::Counter::kIsIterationInvariantRate |
                                                        benchmark::Counter::kInvert);
    state.SetLabel("ns<=2");
}

void belowThresholdSpdlog(benchmark::State& state) {
    spdlog::logger& logger = spdlogRolling();
    int value = 0;
    for (auto _ : state) {
        logger.debug(MESSAGE_TEXT " {:06d}", ++value);
        benchmark::ClobberMemory();
    }
}

const char* const ROLLING = "log call to rolling file";

// spdlog's plain rolling file keeps lines in its own buffer, so that pair is shown without a goal:
// its equal-work peer, where each line reaches the file as the call returns, is the flushed one.
BENCHMARK(rollingKrel)->Name(std::string(ROLLING) + "/krel")->Threads(1)->Threads(8);
BENCHMARK(rollingSpdlog)->Name(std::string(ROLLING) + "/peer")->Threads(1)->Threads(8);
BENCHMARK(rollingKrel)->Name(std::string(ROLLING) + " spdlog flushed/krel")->Threads(1)->Threads(8);
BENCHMARK(rollingSpdlogFlushed)
    ->Name(std::string(ROLLING) + " spdlog flushed/peer")
    ->Threads(1)
    ->Threads(8);
BENCHMARK(rollingKrel)->Name(std::string(ROLLING) + " log4cxx/krel")->Threads(1)->Threads(8);
BENCHMARK(rollingLog4cxx)->Name(std::string(ROLLING) + " log4cxx/peer")->Threads(1)->Threads(8);
BENCHMARK(rollingKrel)->Name(std::string(ROLLING) + " poco/krel")->Threads(1)->Threads(8);
BENCHMARK(rollingPoco)->Name(std::string(ROLLING) + " poco/peer")->Threads(1)->Threads(8);
// Timed by real time: CPU time leaves out the waits of the roll-overs among the calls.
BENCHMARK(lineIntoRollingFileKrel)
    ->Name("line into rolling file/krel")
    ->UseRealTime()
    ->Threads(1)
    ->Threads(8);
BENCHMARK(lineIntoRollingFilePeer)
    ->Name("line into rolling file/peer")
    ->UseRealTime()
    ->Threads(1)
    ->Threads(8);
BENCHMARK(lineDateEachTimeKrel)->Name("line into rolling file by cpu, date each line/krel");
BENCHMARK(lineDateEachTimePeer)->Name("line into rolling file by cpu, date each line/peer");
BENCHMARK(rolloverKrel)
    ->Name("line into 1 MiB rolling files, worst call/krel")
    ->Iterations(ROLLOVER_CALLS)
    ->UseRealTime();
BENCHMARK(rolloverPeer)
    ->Name("line into 1 MiB rolling files, worst call/peer")
    ->Iterations(ROLLOVER_CALLS)
    ->UseRealTime();
BENCHMARK(belowThresholdKrel)->Name("below threshold/krel");
BENCHMARK(belowThresholdSpdlog)->Name("below threshold/peer");

} // namespace
