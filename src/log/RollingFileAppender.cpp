#include "log/RollingFileAppender.h"

#include <typeinfo>
#include <utility>

#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "base/StringUtils.h"
#include "config/ConfigurationChangeEvent.h"
#include "exception/KrelException.h"
#include "internal/GuardedCall.h"
#include "log/AppenderWriteGuard.h"
#include "log/DebugFileFilter.h"
#include "log/KrelLogLayout.h"
#include "log/KrelLoggerSTD.h"
#include "log/LineMaker.h"
#include "log/LogDispatch.h"
#include "log/LogFileFilter.h"
#include "log/PreparedLines.h"
#include "log/StaticLog.h"
#include "log/WindowsVersionInfoHeader.h"
#include "pattern/Singleton.h"
#include "platform/Windows1252.h"
#include "system/Paths.h"
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace krel_std {

namespace {

// The debug section of the log configuration and its threshold key.
const wchar_t* const DEBUG_SECTION = L"Debug Log";
const wchar_t* const THRESHOLD_KEY = L"Threshold";
const wchar_t* const LOG_PATH_KEY = L"System Log Path Key";
const wchar_t* const LOG_PATH_DEFAULT = L"../log";
const wchar_t* const SET_PROPERTY_CONTEXT = L"krel_std::RollingFileAppender::setProperty";

unsigned long sizeFrom(const std::wstring& text) {
    const int size = StringUtils::convertSizeString(text, RollingFileAppender::MinFileSize);
    return size < static_cast<int>(RollingFileAppender::MinFileSize)
               ? RollingFileAppender::MinFileSize
               : static_cast<unsigned long>(size);
}

unsigned long filesFrom(const std::wstring& text) {
    const int files = StringUtils::convertSizeString(text, RollingFileAppender::MinFiles);
    return files == 0 ? RollingFileAppender::MinFiles
                      : static_cast<unsigned long>(static_cast<unsigned int>(files));
}

// The value of a key, or "" when it is missing; `present` tells which.
std::wstring valueOf(const std::map<std::wstring, std::wstring>& properties, const wchar_t* key,
                     bool& present) {
    const auto found = properties.find(key);
    present = found != properties.end();
    return present ? found->second : std::wstring();
}

// A path given in the configuration, less one leading and one trailing double quote.
std::wstring unquoted(std::wstring path) {
    if (!path.empty() && path.front() == L'"') {
        path.erase(0, 1);
    }
    if (!path.empty() && path.back() == L'"') {
        path.pop_back();
    }
    return path;
}

// The number of leading characters of the text, from 1 to 0x7F, narrowed into out by blocks
// of 16; a block holding any other character is left to the caller.
size_t narrowAsciiBlocks(const wchar_t* in, size_t count, char* out) {
    size_t done = 0;
#if defined(__SSE2__)
    static_assert(sizeof(wchar_t) == 4, "wide characters are 32 bits");
    const __m128i zero = _mm_setzero_si128();
    for (; done + 16 <= count; done += 16) {
        const __m128i* block = reinterpret_cast<const __m128i*>(in + done);
        // Saturating packs keep 1..0x7F as they are and turn every other character into 0 or
        // a byte from 0x80 up, which the checks below find.
        const __m128i narrow = _mm_packus_epi16(
            _mm_packs_epi32(_mm_loadu_si128(block), _mm_loadu_si128(block + 1)),
            _mm_packs_epi32(_mm_loadu_si128(block + 2), _mm_loadu_si128(block + 3)));
        if ((_mm_movemask_epi8(narrow) | _mm_movemask_epi8(_mm_cmpeq_epi8(narrow, zero))) != 0) {
            break;
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + done), narrow);
    }
#else
    (void)in;
    (void)count;
    (void)out;
#endif
    return done;
}

// The text up to its first NUL, one byte per character, '?' for one the code page lacks, into
// out (room for text.size() bytes); answers the count written. Between 1 and 0x7F the code
// page and Unicode agree, so those need no look at the table.
std::size_t toWindows1252(const std::wstring& text, char* out) {
    const size_t count = text.size();
    const wchar_t* in = text.data();
    size_t done = narrowAsciiBlocks(in, count, out);
    for (; done < count; ++done) {
        const uint32_t character = static_cast<uint32_t>(in[done]);
        if (character - 1 < 0x7F) {
            out[done] = static_cast<char>(character);
        } else if (character == 0) {
            break;
        } else {
            out[done] = static_cast<char>(krel_platform::wideToWindows1252(in[done], '?'));
        }
    }
    return done;
}

// The text as the appender writes it: windows-1252 bytes, up to the first NUL.
void narrowLine(const std::wstring& line, std::string& bytes) {
    bytes.resize(line.size());
    bytes.resize(toWindows1252(line, &bytes[0]));
}

// Filters and layouts whose decide and format read only what is fixed once they are made, so
// that several threads may call them at once. A class derived from them may add state, so only
// these very classes count.
bool isSharedFilter(const ILogEventFilter& filter) {
    return typeid(filter) == typeid(DebugFileFilter) || typeid(filter) == typeid(LogFileFilter);
}

bool isSharedLayout(const ILogEventLayout& layout) {
    return typeid(layout) == typeid(KrelLogLayout);
}

} // namespace

// The appender's filter and layout, and its conversion, run by a logging thread before it takes
// the log's locks.
class RollingFileAppender::ThreadedLayout : public krel_std_internal::LineMaker {
public:
    ThreadedLayout(const boost::shared_ptr<ILogEventFilter>& filter,
                   const boost::shared_ptr<ILogEventLayout>& layout)
        : filter(filter), layout(layout) {}

    bool uses(const boost::shared_ptr<ILogEventFilter>& otherFilter,
              const boost::shared_ptr<ILogEventLayout>& otherLayout) const {
        return filter == otherFilter && layout == otherLayout;
    }

    bool make(const LogEvent& event, std::wstring& spareLine, std::string& bytes) const override {
        // As inside an appender's write: a log call made meanwhile goes to the debugger output,
        // and the layout builds the line in the thread's spare storage.
        const krel_std_internal::AppenderWriteGuard writing(spareLine);
        if (filter->decide(event) != ILogEventFilter::ACCEPT) {
            return false;
        }
        std::wstring line = layout->format(event);
        narrowLine(line, bytes);
        krel_std_internal::AppenderWriteGuard::giveBackLine(std::move(line));
        return true;
    }

private:
    const boost::shared_ptr<ILogEventFilter> filter;
    const boost::shared_ptr<ILogEventLayout> layout;
};

RollingFileAppender::RollingFileAppender()
    : ILogAppender(boost::shared_ptr<ILogEventFilter>(), boost::shared_ptr<ILogEventLayout>()),
      header(new WindowsVersionInfoHeader()), debug(false), alwaysOpen(false) {
    rollingFile.addHeader(header);
    StaticLog::addConfigurationListener(asConfigurationListener());
}

RollingFileAppender::~RollingFileAppender() {
    try {
        StaticLog::removeConfigurationListener(asConfigurationListener());
    } catch (...) {
        // The log's lock failed: the log is going away, and its configuration with it. Taking
        // a lock is no cancellation point, so no cancellation's unwinding arrives here.
    }
    rollingFile.removeHeader(header);
}

boost::shared_ptr<ConfigurationListener> RollingFileAppender::asConfigurationListener() {
    return boost::shared_ptr<ConfigurationListener>(static_cast<ConfigurationListener*>(this),
                                                    null_deleter());
}

std::wstring RollingFileAppender::toString() const {
    return L"RollingFileAppender{" + rollingFile.toString() + L"}";
}

std::wstring RollingFileAppender::getClassName() const {
    return L"krel_std.RollingFileAppender";
}

Configurable*
RollingFileAppender::newInstance(const std::map<std::wstring, std::wstring>& properties) {
    std::unique_ptr<RollingFileAppender> appender(new RollingFileAppender());
    bool present = false;
    std::wstring path = valueOf(properties, L"path", present);
    const std::wstring sizeText = valueOf(properties, L"size", present);
    const unsigned long size = present ? sizeFrom(sizeText) : MinFileSize;
    const std::wstring filesText = valueOf(properties, L"files", present);
    const unsigned long files = present ? filesFrom(filesText) : MinFiles;
    const std::wstring alwaysOpenText = valueOf(properties, L"always_open", present);
    if (present) {
        appender->alwaysOpen = alwaysOpenText == L"true";
    }
    const File logDirectory(Paths::getInstance()->getPath(LOG_PATH_KEY, LOG_PATH_DEFAULT));
    const std::wstring debugText = valueOf(properties, L"layout.debug", present);
    if (present) {
        appender->debug = debugText == L"true";
    }
    File file;
    if (path.empty()) {
        file =
            File(logDirectory, StaticLog::getModuleName() + (appender->debug ? L".dbg" : L".log"));
    } else {
        path = unquoted(path);
        file = File(path);
        if (!file.isAbsolute() && path.find_first_of(L"\\/") == std::wstring::npos) {
            file = File(logDirectory, path);
        }
    }
    appender->openConfiguredFile(File(file.getCanonicalPath()), files, size);
    return appender.release();
}

void RollingFileAppender::openConfiguredFile(const File& file, unsigned long files,
                                             unsigned long size) {
    const std::wstring canonicalPath = file.getPath();
    if (canonicalPath.empty()) {
        return;
    }
    try {
        file.getParentFile().mkdirs();
        KREL_INTERNAL_DEBUG(L"krel_std::RollingFileAppender::newInstance", L"Using logfile: %ls",
                            canonicalPath.c_str());
        rollingFile.setFilePath(file);
        rollingFile.setMaximumFiles(files);
        rollingFile.setMaximumSize(size);
        if (!debug || alwaysOpen || StaticLog::getThreshold() < INFO) {
            rollingFile.open();
        }
    } catch (const KrelException& e) {
        krel_std_internal::callSwallowing(
            [&] {
                KREL_INTERNAL_DEBUG(L"krel_std::RollingFileAppender::newInstance",
                                    L"Caught KrelException opening rolling file(%ls) : %ls",
                                    canonicalPath.c_str(), e.getMessage().c_str());
            },
            [&] {
                // The trace is a courtesy: the appender is returned with its file closed.
            });
    }
}

void RollingFileAppender::setProperty(const std::wstring& key, const std::wstring& value) {
    if (key == L"size") {
        const unsigned long size = sizeFrom(value);
        if (changeFile([&]() { return size != rollingFile.getMaximumSize(); },
                       [&]() { rollingFile.setMaximumSize(size); })) {
            Singleton<KrelLoggerSTD>::getInstance().STD0009(SET_PROPERTY_CONTEXT, size);
        }
    } else if (key == L"files") {
        const unsigned long files = filesFrom(value);
        if (changeFile([&]() { return files != rollingFile.getMaximumFiles(); },
                       [&]() { rollingFile.setMaximumFiles(files); })) {
            Singleton<KrelLoggerSTD>::getInstance().STD0010(SET_PROPERTY_CONTEXT, files);
        }
    } else if (key == L"always_open") {
        alwaysOpen = value == L"true";
    } else {
        ILogAppender::setProperty(key, value);
    }
}

bool RollingFileAppender::changeFile(const std::function<bool()>& differs,
                                     const std::function<void()>& change) {
    bool changed = false;
    // A live file may roll over and write its headers here, holding the file's lock: the
    // static log's locks are taken first, in the order of a log call.
    krel_std_internal::LogDispatch::runExclusive([&]() {
        changed = differs();
        if (changed) {
            change();
        }
    });
    return changed;
}

void RollingFileAppender::onConfigChange(const ConfigurationChangeEvent& event) {
    if (!debug || event.getSection() != DEBUG_SECTION || event.getKey() != THRESHOLD_KEY) {
        return;
    }
    std::wstring failure;
    krel_std_internal::LogDispatch::runExclusive([&]() {
        try {
            followThreshold(event);
        } catch (const KrelException& e) {
            failure = e.getMessage();
        }
    });
    if (!failure.empty()) {
        KREL_INTERNAL_DEBUG(L"krel_std::RollingFileAppender::onConfigChange",
                            L"Caught KrelException changing rolling file(%ls) : %ls",
                            rollingFile.getFilePath().c_str(), failure.c_str());
    }
}

void RollingFileAppender::followThreshold(const ConfigurationChangeEvent& event) {
    bool open = false;
    if (event.getType() != ConfigurationChangeEvent::Removed) {
        const LogEventPriority threshold = logEventPriorityFromString(event.getValue(), INFO);
        open = alwaysOpen || threshold < INFO;
    }
    if (open && !rollingFile.isOpen()) {
        rollingFile.open();
    } else if (!open && rollingFile.isOpen()) {
        rollingFile.close();
    }
}

unsigned long RollingFileAppender::getMaximumSize() const {
    return rollingFile.getMaximumSize();
}

unsigned long RollingFileAppender::getMaximumFiles() const {
    return rollingFile.getMaximumFiles();
}

bool RollingFileAppender::getAlwaysOpen() const {
    return alwaysOpen;
}

void RollingFileAppender::localAppend(const LogEvent&) {}

bool RollingFileAppender::appendPrepared(const LogEvent& event) {
    if (!rollingFile.isOpenForWriting()) {
        return true;
    }
    refreshLineMaker();
    if (!lineMaker) {
        return false;
    }
    const std::string* bytes = krel_std_internal::PreparedLines::find(lineMaker.get(), event);
    if (bytes == nullptr) {
        krel_std_internal::PreparedLines::remember(lineMaker);
        return false;
    }
    writeBytes(*bytes);
    return true;
}

void RollingFileAppender::refreshLineMaker() {
    const ThreadedLayout* current = static_cast<const ThreadedLayout*>(lineMaker.get());
    if (current != nullptr && current->uses(filter, layout)) {
        return;
    }
    lineMaker.reset();
    if (filter && layout && isSharedFilter(*filter) && isSharedLayout(*layout)) {
        lineMaker.reset(new ThreadedLayout(filter, layout));
    }
}

void RollingFileAppender::localAppend(const std::wstring& line) {
    if (!rollingFile.isOpenForWriting()) {
        return;
    }
    narrowLine(line, lineBytes);
    writeBytes(lineBytes);
}

void RollingFileAppender::writeBytes(const std::string& bytes) {
    try {
        rollingFile.write(bytes.data(), 0, static_cast<unsigned long>(bytes.size()));
    } catch (const KrelException&) {
        // The line is lost; the appender stays in the logger.
    }
}

} // namespace krel_std
